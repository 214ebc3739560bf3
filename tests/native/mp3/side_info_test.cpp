// main_data_begin sits right after the header (and the CRC field): 9 bits in MPEG-1, 8 in
// MPEG-2/2.5. And how many frames a bit reservoir reaches back over.
#include <gtest/gtest.h>

#include "mp3/mp3.h"

namespace {

TEST(SideInfo, MainDataBeginByVersionAndCrc) {
    struct Case {
        mp3::Version version;
        int bitrate, rate;
        bool crc;
        uint8_t first, second;
        int expected;
    };
    const Case cases[] = {
        {mp3::Version::Mpeg1, 128, 44100, false, 0xFF, 0x80, 511},
        {mp3::Version::Mpeg1, 128, 44100, true, 0x01, 0x7F, 2},
        {mp3::Version::Mpeg2, 64, 22050, false, 0xFE, 0xFF, 254},
        {mp3::Version::Mpeg25, 16, 8000, true, 0x07, 0x00, 7},
    };
    for (const Case& c : cases) {
        auto header =
            mp3::MakeFrameHeader(c.version, mp3::Layer::III, c.bitrate, c.rate, mp3::ChannelMode::Mono, false, c.crc);
        ASSERT_TRUE(header);
        std::vector<uint8_t> frame(size_t(header->FrameLength()), 0);
        const size_t at = c.crc ? 6 : 4;
        frame[at] = c.first;
        frame[at + 1] = c.second;
        EXPECT_EQ(mp3::MainDataBegin(*header, frame), c.expected) << mp3::VersionName(c.version) << " crc " << c.crc;
        EXPECT_EQ(mp3::MainDataCapacity(*header, frame.size()), header->FrameLength() - header->DataOffset());
    }
    auto layer2 = mp3::MakeFrameHeader(mp3::Version::Mpeg1, mp3::Layer::II, 192, 48000, mp3::ChannelMode::Stereo);
    EXPECT_FALSE(mp3::MainDataBegin(*layer2, std::vector<uint8_t>(600, 0)).has_value());
}

TEST(Gapless, ReservoirFramesCountsBackUntilTheBytesAreThere) {
    EXPECT_EQ(mp3::ReservoirFrames(0, {}), size_t(0));
    EXPECT_EQ(mp3::ReservoirFrames(100, {100, 50}), size_t(1));
    EXPECT_EQ(mp3::ReservoirFrames(101, {100, 50}), size_t(2));
    EXPECT_FALSE(mp3::ReservoirFrames(151, {100, 50}).has_value());
}

// What mpg123 reads as part2_3_length once it has zeroed a frame's side information past its
// second byte: the bits of that length the second byte still holds.
TEST(SideInfo, LengthLeftAfterZeroingIsWhatTheSecondByteKeeps) {
    struct Case {
        mp3::Version version;
        mp3::ChannelMode mode;
        bool crc;
        uint8_t second;
        int expected;
    };
    const Case cases[] = {
        {mp3::Version::Mpeg1, mp3::ChannelMode::Stereo, false, 0xFF, 0},
        {mp3::Version::Mpeg2, mp3::ChannelMode::Mono, false, 0xFF, 0x7F << 5},
        {mp3::Version::Mpeg2, mp3::ChannelMode::Mono, true, 0x81, 1 << 5},
        {mp3::Version::Mpeg25, mp3::ChannelMode::JointStereo, false, 0xC2, 2 << 6},
    };
    for (const Case& c : cases) {
        const int rate = c.version == mp3::Version::Mpeg1 ? 44100 : c.version == mp3::Version::Mpeg2 ? 22050 : 8000;
        auto header = mp3::MakeFrameHeader(c.version, mp3::Layer::III, 32, rate, c.mode, false, c.crc);
        ASSERT_TRUE(header);
        std::vector<uint8_t> frame(size_t(header->FrameLength()), 0);
        frame[c.crc ? 7 : 5] = c.second;
        EXPECT_EQ(mp3::LengthLeftAfterZeroing(*header, frame), c.expected) << mp3::VersionName(c.version);
    }
}

// mpg123 decodes from four frames before the one holding its first played sample and drops a
// frame that lacks its reservoir when the length left in it exceeds the bits it holds.
TEST(Gapless, SynthesisedBeforeCountsTheDecodedFramesLessTheDropped) {
    EXPECT_EQ(mp3::SynthesisedBefore(10, 1105, 576, {}), 10);  // decodes from the start
    EXPECT_EQ(mp3::SynthesisedBefore(7, 4000, 576, {}), 5);    // from frame 6 - 4
    EXPECT_EQ(mp3::SynthesisedBefore(3, 4000, 1152, {}), 3);   // frame 3 - 4 is before the start
    const std::vector<mp3::PrimingFrame> first = {
        {0, 100, 4000},    // skipped (before frame 5 - 4)
        {200, 100, 801},   // lacks 200 bytes, 801 bits > 800: dropped
        {150, 100, 1600},  // lacks 50, 1600 bits fit: synthesised as silence
        {150, 100, 4000},  // holds 200: decoded as it is
    };
    EXPECT_EQ(mp3::SynthesisedBefore(5, 3000, 576, first), 3);
    EXPECT_EQ(mp3::SynthesisedBefore(5, 3000, 576, {first[0], {200, 100, 800}}), 4);
}

TEST(Gapless, RingAlignmentIsTheSlotDifferencesPowerOfTwo) {
    struct Case {
        int64_t a, b;
        int spf, expected;
    };
    const Case cases[] = {
        {7, 7, 576, 4},  {1, 0, 576, 1},  {4, 0, 576, 3},  {0, 3, 576, 1},  {8, 0, 576, 4},
        {1, 0, 1152, 2}, {2, 0, 1152, 3}, {4, 0, 1152, 4}, {0, 1, 1152, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mp3::RingAlignment(c.a, c.b, c.spf), c.expected) << c.a << " " << c.b << " " << c.spf;
}

}  // namespace
