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

}  // namespace
