// A Layer III frame made independent of the bit reservoir: its main data moved into its own
// area, byte for byte, or into a frame of empty granules in front where no frame holds it.
#include <gtest/gtest.h>

#include <numeric>

#include "mp3/mp3.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutBits(Bytes& bytes, size_t firstBit, int count, int value) {
    for (int i = 0; i < count; ++i) {
        const size_t bit = firstBit + size_t(i);
        const uint8_t mask = uint8_t(0x80 >> (bit % 8));
        if (value >> (count - 1 - i) & 1)
            bytes[bit / 8] |= mask;
        else
            bytes[bit / 8] &= uint8_t(~mask);
    }
}

Bytes Sequence(size_t count, uint8_t from) {
    Bytes bytes(count);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}

// An MPEG-1 mono frame: main_data_begin, the two granules' part2_3_length (bits 18 and 77 of
// the side information: after main_data_begin, 5 private bits and 4 scfsi bits; blocks of 59
// bits), a private bit set to see it kept, and its area filled with `area`.
Bytes MonoFrame(int kbps, bool crc, int mainDataBegin, int granuleBits0, int granuleBits1, const Bytes& area) {
    const auto header = mp3::MakeFrameHeader(mp3::Version::Mpeg1, mp3::Layer::III, kbps, 44100, mp3::ChannelMode::Mono,
                                             false, crc);
    Bytes frame(size_t(header->FrameLength()), 0);
    for (int i = 0; i < 4; ++i) frame[size_t(i)] = uint8_t(header->raw >> (24 - 8 * i));
    Bytes side(17, 0);
    PutBits(side, 0, 9, mainDataBegin);
    PutBits(side, 9, 1, 1);
    PutBits(side, 18, 12, granuleBits0);
    PutBits(side, 18 + 59, 12, granuleBits1);
    PutBits(side, 18 + 12, 9, 0x155);  // big_values: any other field goes along unchanged
    const size_t sideAt = crc ? 6 : 4;
    std::copy(side.begin(), side.end(), frame.begin() + std::ptrdiff_t(sideAt));
    std::copy(area.begin(), area.end(), frame.begin() + std::ptrdiff_t(sideAt + 17));
    return frame;
}

mp3::FrameHeader HeaderOf(const Bytes& frame) { return *mp3::ParseFrameHeader(mp3::ByteView(frame)); }

TEST(MainData, BitsAreThePart23LengthsAddedUp) {
    const Bytes frame = MonoFrame(32, false, 0, 4095, 1, Bytes(83, 0));
    EXPECT_EQ(mp3::MainDataBits(HeaderOf(frame), frame), 4096);
    EXPECT_EQ(mp3::MainDataBits(HeaderOf(frame), mp3::ByteView(frame.data(), 20)), std::nullopt);
}

// 32 kb/s at 44.1 kHz mono with a CRC field: 104 bytes, an area of 81. Main data of 70 bytes
// from 50 bytes back and a next frame that takes 20 bytes of reservoir need 90: the 40 kb/s
// frame (130 bytes, area 107) holds them, the main data first, the next frame's 20 at its end.
TEST(MainData, TheFrameTakesALargerBitrateAndHoldsItsOwnMainData) {
    const Bytes reservoir = Sequence(60, 1);
    const Bytes area = Sequence(81, 100);
    const Bytes frame = MonoFrame(32, true, 50, 320, 240, area);
    const auto start = mp3::MakeSelfContainedStart(HeaderOf(frame), frame, reservoir, 20);
    ASSERT_TRUE(start);
    ASSERT_EQ(start->frames.size(), 1u);
    EXPECT_EQ(start->emptyLeadFrames, 0);
    const Bytes& written = start->frames[0];
    const mp3::FrameHeader header = HeaderOf(written);
    EXPECT_EQ(header.bitrateKbps, 40);
    EXPECT_EQ(written.size(), 130u);
    EXPECT_EQ(mp3::CheckFrameCrc(header, written), mp3::CrcStatus::Ok);
    Bytes expectedSide(frame.begin() + 6, frame.begin() + 23);
    PutBits(expectedSide, 0, 9, 0);
    EXPECT_EQ(Bytes(written.begin() + 6, written.begin() + 23), expectedSide);
    Bytes expectedArea(reservoir.begin() + 10, reservoir.end());  // 50 bytes back
    expectedArea.insert(expectedArea.end(), area.begin(), area.begin() + 20);
    expectedArea.resize(107 - 20, 0);
    expectedArea.insert(expectedArea.end(), area.end() - 20, area.end());
    EXPECT_EQ(Bytes(written.begin() + 23, written.end()), expectedArea);
}

// 1000 bytes of main data and 200 for the next frame fit no MPEG-1 mono frame (320 kb/s: area
// 1023): the 300 reservoir bytes go into a frame of empty granules (112 kb/s, area 344, the
// smallest that holds them) and the frame follows unchanged.
TEST(MainData, WhereNoFrameHoldsItAFrameOfEmptyGranulesCarriesTheReservoir) {
    const Bytes reservoir = Sequence(400, 7);
    const Bytes frame = MonoFrame(320, false, 300, 4000, 4000, Sequence(1023, 3));
    const auto start = mp3::MakeSelfContainedStart(HeaderOf(frame), frame, reservoir, 200);
    ASSERT_TRUE(start);
    ASSERT_EQ(start->frames.size(), 2u);
    EXPECT_EQ(start->emptyLeadFrames, 1);
    const Bytes& lead = start->frames[0];
    EXPECT_EQ(HeaderOf(lead).bitrateKbps, 112);
    EXPECT_EQ(Bytes(lead.begin() + 4, lead.begin() + 21), Bytes(17, 0));
    EXPECT_EQ(Bytes(lead.end() - 300, lead.end()), Bytes(reservoir.end() - 300, reservoir.end()));
    EXPECT_EQ(Bytes(lead.begin() + 21, lead.end() - 300), Bytes(344 - 300, 0));
    EXPECT_EQ(start->frames[1], frame);
}

TEST(MainData, AFrameThatNeedsNoReservoirStaysAsItIsAndAShortReservoirIsRefused) {
    const Bytes frame = MonoFrame(32, false, 0, 320, 240, Sequence(83, 100));
    const auto start = mp3::MakeSelfContainedStart(HeaderOf(frame), frame, Bytes(), 20);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->frames, std::vector<Bytes>{frame});
    const Bytes needy = MonoFrame(32, false, 50, 320, 240, Sequence(83, 100));
    EXPECT_FALSE(mp3::MakeSelfContainedStart(HeaderOf(needy), needy, Bytes(49, 0), 20));
    // Main data that runs past where the next frame's begins: damaged.
    EXPECT_FALSE(mp3::MakeSelfContainedStart(HeaderOf(needy), needy, Bytes(60, 0), 70));
}

}  // namespace
