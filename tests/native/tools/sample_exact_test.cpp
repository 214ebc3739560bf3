// Frame-mode cuts played by a real gapless decoder: Debian's mpg123 decodes the source and the
// cut, and the cut must be exactly the source's samples from A to B.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tool_test_support.h"
#include "tools/mp3splt/cut_file.h"

namespace {

using tooltest::Mp3View;
using tooltest::ScratchDir;

// mpg123's gapless decode of a file, kept in a scratch file (an hour of audio is 160 MB).
class GaplessDecode {
public:
    GaplessDecode(const std::string& mp3, const std::string& rawPath, int channels)
        : path_(rawPath), channels_(channels) {
        tooltest::RunResult run = tooltest::RunTool("/usr/bin/mpg123", {"-q", "-O", rawPath, mp3});
        ok_ = run.exitCode == 0 && tooltest::Exists(rawPath);
    }
    bool ok() const { return ok_; }
    int64_t Samples() const {
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (!file) return -1;
        std::fseek(file, 0, SEEK_END);
        const long bytes = std::ftell(file);
        std::fclose(file);
        return bytes / (2 * channels_);
    }
    // `count` samples per channel from sample `first`, channels interleaved.
    std::vector<int16_t> Read(int64_t first, int64_t count) const {
        std::vector<int16_t> values(size_t(count * channels_));
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (!file) return {};
        std::fseek(file, long(first * channels_ * 2), SEEK_SET);
        values.resize(std::fread(values.data(), 2, values.size(), file));
        std::fclose(file);
        return values;
    }

private:
    std::string path_;
    int channels_;
    bool ok_ = false;
};

int64_t SampleAt(int64_t ms, int rate) { return ms * rate / 1000; }

// Where the source's gapless decode starts in its raw decoder output (see mp3/gapless.h).
int64_t GaplessBegin(const Mp3View& view) {
    if (!view.layout.info || !view.layout.info->lame) return 0;
    return view.layout.info->lame->encoderDelay + 529;
}

// The first millisecond from `fromMs` whose sample lies at `within` in its raw frame, or as near
// as the rate allows (at 8 kHz every millisecond is 8 samples): just after for a place near
// the frame's start, just before for its last sample.
int64_t StartAtFramePosition(const Mp3View& view, int64_t fromMs, int within) {
    const int rate = view.headers[0].sampleRate;
    const int spf = view.headers[0].SamplesPerFrame();
    int64_t best = fromMs;
    int bestDistance = spf;
    for (int64_t ms = fromMs; ms < fromMs + 2000; ++ms) {
        const int position = int((SampleAt(ms, rate) + GaplessBegin(view)) % spf);
        const int distance = within == spf - 1 ? (within - position + spf) % spf : (position - within + spf) % spf;
        if (distance < bestDistance) best = ms, bestDistance = distance;
    }
    return best;
}

struct Comparison {
    int64_t wanted = 0;
    int64_t got = 0;
    size_t differing = 0;  // values that differ
    int largest = 0;       // largest difference
    size_t firstDiffering = SIZE_MAX;
    size_t values = 0;
};

// The cut's decode against the source's [fromSample, toSample), both from `skip` samples in.
Comparison CompareCut(const GaplessDecode& source, const GaplessDecode& cut, int64_t fromSample, int64_t toSample,
                      int64_t skip = 0) {
    Comparison c;
    toSample = std::min(toSample, source.Samples());
    c.wanted = toSample - fromSample - skip;
    c.got = cut.Samples() - skip;
    std::vector<int16_t> expected = source.Read(fromSample + skip, c.wanted);
    std::vector<int16_t> actual = cut.Read(skip, std::min(c.got, c.wanted));
    c.values = actual.size();
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        const int difference = std::abs(actual[i] - expected[i]);
        if (difference == 0) continue;
        ++c.differing;
        c.largest = std::max(c.largest, difference);
        c.firstDiffering = std::min(c.firstDiffering, i);
    }
    return c;
}

// mpg123 sums its synthesis window in an order that depends on how many 32-sample slots it
// has decoded since the start of the file (mod 16), which a cut cannot match in general: its
// AVX decoder then still gives the same samples for MPEG-1, its SSE and C decoders and every
// decoder for MPEG-2/2.5 (18 slots a frame) round a few samples in 100,000 one step apart.
// Anything else (a missing granule or reservoir byte, a sample too many) differs by far more.
void ExpectSameAudio(const Comparison& c) {
    EXPECT_EQ(c.got, c.wanted);
    EXPECT_LE(c.largest, 1) << "first difference at value " << c.firstDiffering;
    EXPECT_LE(c.differing, c.values / 1000 + 1) << "first difference at value " << c.firstDiffering;
}

struct Case {
    const char* fixture;
    const char* where;  // "boundary", "after", "last": the start's place in its frame
    int64_t fromMs;     // search the start from here
    int64_t lengthMs;
};

class SampleExactCutTest : public ::testing::TestWithParam<Case> {};

TEST_P(SampleExactCutTest, GaplessDecodeIsTheSourcesFromAToB) {
    const Case& c = GetParam();
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath(c.fixture);
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.ok && !in.headers.empty()) << input;
    const int rate = in.headers[0].sampleRate;
    const int spf = in.headers[0].SamplesPerFrame();
    const int within = std::string(c.where) == "boundary" ? 0 : std::string(c.where) == "after" ? 1 : spf - 1;
    const int64_t startMs = StartAtFramePosition(in, c.fromMs, within);
    const int64_t endMs = startMs + c.lengthMs;

    mp3splt::SplitRequest request{input, startMs, endMs, scratch.Path(), "cut", true};
    ASSERT_EQ(mp3splt::CutFile(request), mp3splt::kExitWritten);
    Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
    ASSERT_TRUE(out.ok && out.layout.info && out.layout.info->lame);
    EXPECT_TRUE(out.layout.info->lame->tagCrcValid);
    EXPECT_EQ(*out.layout.info->xing->frames, out.frames.size());

    const int channels = in.headers[0].Channels();
    GaplessDecode source(input, scratch / "source.raw", channels);
    GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", channels);
    ASSERT_TRUE(source.ok() && cut.ok());
    Comparison result = CompareCut(source, cut, SampleAt(startMs, rate), SampleAt(endMs, rate));
    SCOPED_TRACE(std::string(c.fixture) + " from " + std::to_string(startMs) + " ms, sample " +
                 std::to_string((SampleAt(startMs, rate) + GaplessBegin(in)) % spf) + " of its frame");
    ExpectSameAudio(result);
}

const Case kCases[] = {
    {"cbr128.mp3", "boundary", 1000, 200},
    {"cbr128.mp3", "after", 1000, 10000},
    {"cbr128.mp3", "last", 1000, 10000},
    {"vbr.mp3", "boundary", 1000, 10000},
    {"vbr.mp3", "after", 1000, 200},
    {"vbr.mp3", "last", 1500, 10000},
    {"mpeg2.mp3", "boundary", 1000, 6000},
    {"mpeg2.mp3", "after", 500, 200},
    {"mpeg2.mp3", "last", 1000, 6000},
    {"mpeg25.mp3", "boundary", 1000, 6000},
    {"mpeg25.mp3", "after", 1000, 200},
    {"mpeg25.mp3", "last", 700, 6000},
    {"long.mp3", "after", 20 * 60000, 10 * 60000},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, SampleExactCutTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.fixture;
    name = name.substr(0, name.find('.')) + "_" + info.param.where + "_" + std::to_string(info.param.lengthMs);
    return name;
});

// A cut from the start keeps the source's delay, one to the end its padding, and both play
// exactly their stretch.
TEST(SampleExactCut, FromTheStartAndToTheEndKeepTheSourcesFields) {
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath("vbr.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.layout.info && in.layout.info->lame);
    const int64_t totalMs = int64_t(in.frames.size()) * 1152 * 1000 / 44100;
    GaplessDecode source(input, scratch / "source.raw", 2);
    struct Ends {
        int64_t startMs, endMs;
    };
    for (Ends ends : {Ends{0, 4000}, Ends{5000, totalMs + 60000}}) {
        ASSERT_EQ(tooltest::RunTool(MP3SPLT_EXE, {input, tooltest::CutTime(ends.startMs), tooltest::CutTime(ends.endMs),
                                                  "-d", scratch.Path(), "-o", "cut", "-f"})
                      .exitCode,
                  0);
        Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
        const mp3::LameTag& lame = *out.layout.info->lame;
        if (ends.startMs == 0)
            EXPECT_EQ(lame.encoderDelay, in.layout.info->lame->encoderDelay);
        else
            EXPECT_EQ(lame.encoderPadding, in.layout.info->lame->encoderPadding);
        GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", 2);
        SCOPED_TRACE(ends.startMs);
        ExpectSameAudio(CompareCut(source, cut, SampleAt(ends.startMs, 44100), SampleAt(ends.endMs, 44100)));
    }
}

// The bit reservoir of a burst after silence reaches back further than the delay field holds:
// the tool says so, keeps what fits, and the length is still exact; past the first frames the
// audio is the source's.
TEST(SampleExactCut, ReservoirBeyondTheDelayFieldIsReportedAndTheLengthStaysExact) {
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath("lowrate.mp3");
    tooltest::RunResult run =
        tooltest::RunTool(MP3SPLT_EXE, {input, "0.1.50", "0.3.0", "-d", scratch.Path(), "-o", "cut", "-f"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("frame-exact rather than sample-exact"), std::string::npos) << run.out;
    GaplessDecode source(input, scratch / "source.raw", 2);
    GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", 2);
    const int64_t from = SampleAt(1500, 48000);
    const int64_t to = SampleAt(3000, 48000);
    Comparison whole = CompareCut(source, cut, from, to);
    EXPECT_EQ(whole.got, whole.wanted);
    EXPECT_GT(whole.largest, 1) << "the start was expected to differ";
    const int64_t settled = 48000 / 4;  // a quarter second in, the decoder has caught up
    ExpectSameAudio(CompareCut(source, cut, from, to, settled));
}

}  // namespace
