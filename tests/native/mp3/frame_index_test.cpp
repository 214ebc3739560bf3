#include <gtest/gtest.h>

#include <fstream>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

struct LameCase {
    const char* name;
    int seconds;  // length of the WAV the fixture script encoded
    int sampleRate;
    mp3::Version version;
    int channels;
};

// lame records its delay and padding: frames * samples-per-frame minus both is exactly
// the length of the input, which the fixture script chose.
TEST(FrameIndex, DurationsMatchWhatLameEncoded) {
    const LameCase cases[] = {
        {"cbr128.mp3", 12, 44100, mp3::Version::Mpeg1, 2},
        {"vbr.mp3", 12, 44100, mp3::Version::Mpeg1, 2},
        {"mpeg2.mp3", 8, 22050, mp3::Version::Mpeg2, 1},
        {"crc.mp3", 5, 44100, mp3::Version::Mpeg1, 2},
    };
    for (const LameCase& c : cases) {
        SCOPED_TRACE(c.name);
        mp3test::FixtureFile f(c.name);
        ASSERT_TRUE(f.IsOpen());
        const mp3::IndexResult result = mp3::BuildFrameIndex(f.Source());
        ASSERT_TRUE(result.ok()) << mp3::StatusText(result.status);
        const mp3::FrameIndex& index = result.index;
        ASSERT_TRUE(index.Layout().info && index.Layout().info->lame);
        const mp3::LameTag& lame = *index.Layout().info->lame;
        EXPECT_EQ(index.SampleRate(), c.sampleRate);
        EXPECT_EQ(index.StreamHeader().version, c.version);
        EXPECT_EQ(index.Channels(), c.channels);
        EXPECT_EQ(index.TotalSamples() - lame.encoderDelay - lame.encoderPadding, int64_t(c.seconds) * c.sampleRate);
        EXPECT_EQ(index.SkippedBytes(), 0u);
        EXPECT_FALSE(index.HasTruncatedFrame());
        // The information frame is not audio.
        EXPECT_EQ(index.FrameOffset(0), index.Layout().infoFrameRange.End());
        const int64_t expectedMs = mp3::SamplesToMs(index.TotalSamples(), c.sampleRate);
        EXPECT_EQ(index.DurationMs(), expectedMs);
        EXPECT_NEAR(double(index.DurationMs()), c.seconds * 1000.0, 200.0);
        EXPECT_EQ(index.DurationUnits() / 10000, index.DurationMs());
        for (size_t i = 0; i + 1 < index.FrameCount(); ++i)
            ASSERT_EQ(index.FrameOffset(i) + index.FrameSize(i), index.FrameOffset(i + 1)) << i;
    }
}

TEST(FrameIndex, FileWithoutInformationFrame) {
    mp3test::FixtureFile f("mpeg25.mp3");  // 8 s at 8 kHz, 576 samples per frame
    const mp3::IndexResult result = mp3::BuildFrameIndex(f.Source());
    ASSERT_TRUE(result.ok());
    const mp3::FrameIndex& index = result.index;
    EXPECT_EQ(index.StreamHeader().version, mp3::Version::Mpeg25);
    EXPECT_EQ(index.SamplesPerFrame(), 576);
    // lame adds its delay and pads to whole frames: at most three frames more than the input.
    EXPECT_GE(index.TotalSamples(), 8 * 8000);
    EXPECT_LE(index.TotalSamples(), 8 * 8000 + 3 * 576);
    EXPECT_EQ(index.AudioBytes(), f.Source().Size());
}

TEST(FrameIndex, TimeAndFrameLookupsAgree) {
    mp3test::FixtureFile f("vbr.mp3");
    const mp3::IndexResult result = mp3::BuildFrameIndex(f.Source());
    ASSERT_TRUE(result.ok());
    const mp3::FrameIndex& index = result.index;
    const size_t n = index.FrameCount();
    ASSERT_GT(n, 100u);
    for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(index.FrameAtUnits(index.FrameStartUnits(i)), i);
        ASSERT_EQ(index.FrameAtUnits(index.FrameStartUnits(i + 1) - 1), i);
        ASSERT_EQ(index.FrameAtSample(index.FrameStartSample(i) + 1151), i);
    }
    // Every millisecond maps to the frame whose span holds it.
    for (int64_t ms = 0; ms < index.DurationMs(); ms += 7) {
        const size_t frame = index.FrameAtMs(ms);
        ASSERT_LE(index.FrameStartMs(frame), ms);
        ASSERT_GT(index.FrameStartMs(frame + 1), ms);
    }
    const struct {
        int64_t ms;
        size_t frame;
    } fixed[] = {
        {-5000, 0}, {0, 0}, {25, 0}, {26, 1}, {52, 2}, {1000, 38}, {index.DurationMs() + 10000, n - 1},
    };
    for (const auto& c : fixed) EXPECT_EQ(index.FrameAtMs(c.ms), c.frame) << c.ms;  // 1152/44100 s per frame
    EXPECT_EQ(index.FrameAtUnits(INT64_MAX), n - 1);
    EXPECT_EQ(index.FrameAtUnits(INT64_MIN), 0u);
    EXPECT_EQ(index.FrameStartUnits(1), 261224);
}

TEST(FrameIndex, GarbageIsCountedNotIndexed) {
    uint64_t garbageBytes = 0;
    std::ifstream ranges(mp3test::FixturePath("garbage.txt"));
    for (uint64_t offset, size; ranges >> offset >> size;) garbageBytes += size;
    mp3test::FixtureFile f("garbage.mp3");
    const mp3::IndexResult result = mp3::BuildFrameIndex(f.Source());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.index.SkippedBytes(), garbageBytes);
    EXPECT_EQ(result.index.SkippedRanges(), 3u);
    EXPECT_EQ(result.index.AudioBytes() + garbageBytes, f.Source().Size());
    EXPECT_EQ(result.index.Layout().leadingGarbage, 731u);
}

TEST(FrameIndex, FramesOfAnotherStreamAreNotIndexed) {
    std::vector<uint8_t> data = mp3test::SilentStream(10);
    for (int i = 0; i < 6; ++i)
        mp3test::Append(
            data, mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 48000, mp3::ChannelMode::Stereo));
    mp3::MemorySource source{mp3::ByteView(data)};
    const mp3::IndexResult result = mp3::BuildFrameIndex(source);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.index.FrameCount(), 10u);
    EXPECT_EQ(result.index.ForeignFrames(), 6u);
}

// Free-format frames amid frames with a bitrate form a stream of their own: a reader can only
// find their length from their own kind.
TEST(FrameIndex, FreeFormatFramesAreAStreamOfTheirOwn) {
    std::vector<uint8_t> data = mp3test::SilentStream(10);
    std::vector<uint8_t> free =
        mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100, mp3::ChannelMode::Stereo);
    free[2] &= 0x0F;  // bitrate index 0: the same 417 bytes, now in free format
    for (int i = 0; i < 4; ++i) mp3test::Append(data, free);
    mp3test::Append(data, mp3test::SilentStream(10));
    mp3::MemorySource source{mp3::ByteView(data)};
    const mp3::IndexResult result = mp3::BuildFrameIndex(source);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.index.FrameCount(), 20u);
    EXPECT_EQ(result.index.ForeignFrames(), 4u);
    EXPECT_FALSE(result.index.StreamHeader().FreeFormat());
}

TEST(FrameIndex, AnInformationFrameAloneIsNoAudio) {
    mp3::InfoFrameRequest wanted;
    wanted.like = *mp3::MakeFrameHeader(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100, mp3::ChannelMode::Stereo);
    const std::vector<uint8_t> frame = mp3::BuildInfoFrame(wanted);
    mp3::MemorySource source{mp3::ByteView(frame)};
    const mp3::IndexResult result = mp3::BuildFrameIndex(source);
    EXPECT_EQ(result.status, mp3::Status::NoAudio);
    EXPECT_TRUE(result.index.Layout().info.has_value());
    EXPECT_EQ(result.index.FrameCount(), 0u);
}

TEST(FrameIndex, HourLongVbrFile) {
    mp3test::FixtureFile f("long.mp3");
    ASSERT_TRUE(f.IsOpen());
    const mp3::IndexResult result = mp3::BuildFrameIndex(f.Source());
    ASSERT_TRUE(result.ok());
    const mp3::FrameIndex& index = result.index;
    ASSERT_TRUE(index.Layout().info && index.Layout().info->xing && index.Layout().info->lame);
    EXPECT_EQ(index.FrameCount(), *index.Layout().info->xing->frames);
    const mp3::LameTag& lame = *index.Layout().info->lame;
    EXPECT_EQ(index.TotalSamples() - lame.encoderDelay - lame.encoderPadding, int64_t(3600) * 22050);
    EXPECT_EQ(index.FrameAtMs(1800000), size_t(int64_t(1800000) * 22050 / 1000 / 576));
    EXPECT_EQ(index.Layout().estimatedFrames, index.FrameCount());
}

// The file's stream is the one holding most of the audio, wherever it begins: the index
// times it, and its own information frame (not another stream's) describes it.
TEST(FrameIndex, IndexesTheStreamHoldingMostOfTheAudio) {
    const struct {
        const char* fixture;
        mp3::Version version;
        int sampleRate;
        double seconds;  // of the stream's audio, Info frame excluded
        bool hasInfo;
    } cases[] = {
        {"jingle.mp3", mp3::Version::Mpeg1, 44100, 20.0, true},     // a 1 s jingle of 22.05 kHz in front
        {"mixed.mp3", mp3::Version::Mpeg1, 44100, 6.0, false},      // 1 s of 22.05 kHz in the middle
        {"freeformat.mp3", mp3::Version::Mpeg1, 44100, 1.0, true},  // no bitrate in the headers
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        mp3test::FixtureFile f(c.fixture);
        ASSERT_TRUE(f.IsOpen());
        const mp3::IndexResult result = mp3::BuildFrameIndex(f.Source());
        ASSERT_TRUE(result.ok());
        const mp3::FrameIndex& index = result.index;
        EXPECT_EQ(index.StreamHeader().version, c.version);
        EXPECT_EQ(index.SampleRate(), c.sampleRate);
        // lame adds up to two frames of delay and padding.
        EXPECT_NEAR(index.DurationMs(), c.seconds * 1000, 2 * 1152 * 1000.0 / c.sampleRate + 30);
        EXPECT_EQ(index.Layout().info.has_value(), c.hasInfo);
        if (c.hasInfo) {
            EXPECT_EQ(index.Layout().info->header.sampleRate, c.sampleRate);
        }
        EXPECT_EQ(index.Layout().estimatedFrames, index.FrameCount());
        for (size_t i = 0; i < index.FrameCount(); ++i) ASSERT_LT(index.FrameOffset(i), f.Source().Size());
    }
}

// A free-format stream: every frame re-parses to the length the stream gave it.
TEST(FrameIndex, FreeFormatFramesTakeTheirLengthFromTheStream) {
    const std::vector<uint8_t> file = mp3test::ReadFixture("freeformat.mp3");
    mp3::MemorySource source{mp3::ByteView(file)};
    const std::vector<mp3::ScanEvent> events = mp3test::ScanAll(source, 0, file.size());
    ASSERT_FALSE(events.empty());
    for (const mp3::ScanEvent& e : events) {
        ASSERT_EQ(e.kind, mp3::ScanEvent::Kind::Frame) << e.offset;
        EXPECT_TRUE(e.header.FreeFormat());
        EXPECT_EQ(e.size, uint64_t(e.header.FrameLength()));
        EXPECT_EQ(e.header.bitrateKbps, 128);
    }
    // Two frames alone: the last one has no successor to measure by and takes the first's length.
    ASSERT_GE(events.size(), 3u);
    const std::vector<uint8_t> two(file.begin() + long(events[1].offset), file.begin() + long(events[3].offset));
    mp3::MemorySource twoSource{mp3::ByteView(two)};
    const mp3::IndexResult result = mp3::BuildFrameIndex(twoSource);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.index.FrameCount(), 2u);
}

}  // namespace
