// Which silences inside a recording the hearing entries may hand to scripts/with-pulse as the
// machine's: only one after which the sound goes on at the very next sample. Composed recordings
// of a noise source, the stretches placed by hand.
#include "tests/win/player/loop_recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int64_t kShortest = kRate / 100;

PcmSamples Noise(uint32_t seed, int64_t frames) {
    PcmSamples pcm{kRate, 2, {}};
    for (int64_t i = 0; i < frames * 2; ++i) {
        seed = seed * 1664525u + 1013904223u;
        pcm.samples.push_back(static_cast<int16_t>(seed >> 16));
    }
    return pcm;
}

void Append(PcmSamples& to, const PcmSamples& from, int64_t start, int64_t frames) {
    std::copy_n(from.samples.begin() + start * 2, frames * 2, std::back_inserter(to.samples));
}

void AppendSilence(PcmSamples& to, int64_t frames) { to.samples.insert(to.samples.end(), frames * 2, 0); }

struct Case {
    const char* what;
    int64_t secondFrom;  // where in the source the second stretch begins
    int64_t silence;     // frames of silence between the two
    int64_t damage;      // frames of sound from no part of the source, after the silence
    bool continues;
};

TEST(LocateHeard, OnlyASilenceAfterWhichTheSoundGoesOnAtItsNextSampleIsAGap) {
    const PcmSamples source = Noise(1, kRate);
    const PcmSamples foreign = Noise(2, kRate);
    const Case cases[] = {
        {"a silence, then the next sample", 5000, 441, 0, true},
        {"one sample of silence", 5000, 1, 0, true},
        {"a silence, then a sample lost", 5001, 441, 0, false},
        {"a silence, then a sample played twice", 4999, 441, 0, false},
        {"a silence, then 100 ms further on", 9410, 441, 0, false},
        {"damage, then the next sample", 5000, 0, 200, false},
        {"a silence and damage, then the next sample", 5000, 441, 200, false},
    };
    for (const Case& c : cases) {
        PcmSamples recording{kRate, 2, {}};
        AppendSilence(recording, 300);
        Append(recording, source, 1000, 4000);
        AppendSilence(recording, c.silence);
        Append(recording, foreign, 0, c.damage);
        Append(recording, source, c.secondFrom, 4000);
        const std::vector<HeardStretch> heard = LocateHeard(recording, source, kShortest);
        ASSERT_EQ(2u, heard.size()) << c.what;
        EXPECT_EQ(1000, heard[0].sourceStart) << c.what;
        EXPECT_EQ(300, heard[0].recordedStart) << c.what;
        EXPECT_EQ(300, heard[0].silentBefore) << c.what;
        EXPECT_FALSE(heard[0].continues) << c.what << ": the first stretch, after the recording's start";
        EXPECT_EQ(c.secondFrom, heard[1].sourceStart) << c.what;
        EXPECT_EQ(4300 + c.silence + c.damage, heard[1].recordedStart) << c.what;
        EXPECT_EQ(4300, heard[1].GapStart() - heard[1].damagedBefore) << c.what;
        EXPECT_EQ(c.continues, heard[1].continues) << c.what;
    }
}

}  // namespace
