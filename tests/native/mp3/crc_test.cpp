#include <gtest/gtest.h>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

struct CrcCount {
    int ok = 0, mismatch = 0, notProtected = 0, unverifiable = 0;
};

CrcCount CheckAllFrames(const std::vector<uint8_t>& file) {
    CrcCount count;
    mp3::MemorySource source{mp3::ByteView(file)};
    const mp3::AnalyzeResult layout = mp3::AnalyzeStream(source);
    for (const mp3::ScanEvent& e : mp3test::ScanAll(source, layout.layout.audioStart, layout.layout.audioEnd)) {
        if (e.kind != mp3::ScanEvent::Kind::Frame) continue;
        switch (mp3::CheckFrameCrc(e.header, mp3::ByteView(file).Sub(size_t(e.offset), size_t(e.size)))) {
        case mp3::CrcStatus::Ok: ++count.ok; break;
        case mp3::CrcStatus::Mismatch: ++count.mismatch; break;
        case mp3::CrcStatus::NotProtected: ++count.notProtected; break;
        case mp3::CrcStatus::Unverifiable: ++count.unverifiable; break;
        }
    }
    return count;
}

TEST(FrameCrc, KnownCheckValues) {
    // CRC-16 with polynomial 0x8005, most significant bit first, initial 0xFFFF over
    // "123456789" is 0xAEE7 (CRC-16/CMS); the reflected form with initial 0 is 0xBB3D (CRC-16/ARC).
    const std::string check = "123456789";
    const mp3::ByteView bytes(reinterpret_cast<const uint8_t*>(check.data()), check.size());
    EXPECT_EQ(mp3::Crc16Update(0xFFFF, bytes), 0xAEE7);
    EXPECT_EQ(mp3::LameCrc16Update(0, bytes), 0xBB3D);
}

// The bit-at-a-time definitions, written out from the polynomials.
uint16_t ReferenceFrameCrc(uint16_t crc, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((crc >> 15) ^ (p[i] >> bit)) & 1;
            crc = uint16_t(crc << 1);
            if (feedback) crc ^= 0x8005;
        }
    return crc;
}
uint16_t ReferenceLameCrc(uint16_t crc, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

// Every length around the sixteen-byte steps and the 64-byte steps of the multiplying form,
// at every alignment, from any running value, and split anywhere: the fast forms agree with
// the definitions.
TEST(FrameCrc, TableFormsMatchTheBitwiseDefinitions) {
    std::vector<uint8_t> bytes(600);
    uint32_t seed = 12345;
    for (uint8_t& b : bytes) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 40; ++length) lengths.push_back(length);
    for (size_t length : {63, 64, 65, 79, 80, 81, 127, 128, 129, 143, 144, 191, 192, 255, 417, 590}) lengths.push_back(length);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length : lengths) {
            const uint8_t* p = bytes.data() + offset;
            const uint16_t start = uint16_t(0x1234 * (length + 1) + offset);
            ASSERT_EQ(mp3::LameCrc16Update(start, mp3::ByteView(p, length)), ReferenceLameCrc(start, p, length))
                << offset << " " << length;
            ASSERT_EQ(mp3::Crc16Update(start, mp3::ByteView(p, length)), ReferenceFrameCrc(start, p, length))
                << offset << " " << length;
        }
    }
    const uint16_t whole = ReferenceLameCrc(0, bytes.data(), bytes.size());
    for (size_t split = 0; split <= bytes.size(); split += 37) {
        const mp3::ByteView all(bytes);
        EXPECT_EQ(mp3::LameCrc16Update(mp3::LameCrc16Update(0, all.Sub(0, split)), all.Sub(split)), whole) << split;
    }
}

// Files written by encoders with error protection switched on: every audio frame's CRC
// must verify. The information frame lame writes first carries no CRC field.
void ExpectAllCrcsVerify(const char* name) {
    SCOPED_TRACE(name);
    const CrcCount count = CheckAllFrames(mp3test::ReadFixture(name));
    EXPECT_GT(count.ok, 50);
    EXPECT_EQ(count.mismatch, 0);
    EXPECT_EQ(count.unverifiable, 0);
    EXPECT_LE(count.notProtected, 1);
}

TEST(FrameCrc, LameLayer3CrcsVerify) {
    ExpectAllCrcsVerify("crc.mp3");        // MPEG-1 stereo
    ExpectAllCrcsVerify("crc-mpeg2.mp3");  // MPEG-2 mono
}

bool HaveLayer2Fixtures() { return mp3test::FixtureExists("layer2-a.mp2"); }

TEST(FrameCrc, TwolameLayer2CrcsVerify) {
    if (!HaveLayer2Fixtures()) GTEST_SKIP() << "Layer II fixtures need twolame, which is not installed";
    // One file per bit-allocation table; the joint-stereo ones exercise the shared
    // allocation above the intensity bound.
    ExpectAllCrcsVerify("layer2-a.mp2");    // 48 kHz stereo 192 kb/s
    ExpectAllCrcsVerify("layer2-b.mp2");    // 44.1 kHz joint stereo 256 kb/s
    ExpectAllCrcsVerify("layer2-c.mp2");    // 48 kHz mono 48 kb/s
    ExpectAllCrcsVerify("layer2-d.mp2");    // 32 kHz mono 48 kb/s
    ExpectAllCrcsVerify("layer2-lsf.mp2");  // MPEG-2, 24 kHz joint stereo 64 kb/s
}

TEST(FrameCrc, UnprotectedFramesSaySo) {
    const CrcCount count = CheckAllFrames(mp3test::ReadFixture("cbr128.mp3"));
    EXPECT_EQ(count.ok, 0);
    EXPECT_GT(count.notProtected, 400);
}

TEST(FrameCrc, DamageInTheProtectedPartIsFound) {
    for (const char* name : {"crc.mp3", "layer2-b.mp2"}) {
        SCOPED_TRACE(name);
        if (!mp3test::FixtureExists(name)) continue;  // reported by TwolameLayer2CrcsVerify
        std::vector<uint8_t> file = mp3test::ReadFixture(name);
        mp3::MemorySource source{mp3::ByteView(file)};
        const mp3::AnalyzeResult layout = mp3::AnalyzeStream(source);
        ASSERT_TRUE(layout.ok());
        const uint64_t at = layout.layout.firstAudioFrameOffset;
        const std::optional<mp3::FrameHeader> h = mp3::ParseFrameHeader(mp3::ByteView(file).Sub(size_t(at)));
        ASSERT_TRUE(h && h->hasCrc);
        const mp3::ByteView frame = mp3::ByteView(file).Sub(size_t(at), size_t(h->FrameLength()));
        ASSERT_EQ(mp3::CheckFrameCrc(*h, frame), mp3::CrcStatus::Ok);
        file[size_t(at) + 6] ^= 0x80;  // first protected bit after the CRC field
        EXPECT_EQ(mp3::CheckFrameCrc(*h, frame), mp3::CrcStatus::Mismatch);
        file[size_t(at) + 6] ^= 0x80;
        file[size_t(at) + 4] ^= 0x01;  // the stored CRC itself
        EXPECT_EQ(mp3::CheckFrameCrc(*h, frame), mp3::CrcStatus::Mismatch);
        EXPECT_EQ(mp3::CheckFrameCrc(*h, frame.Sub(0, 7)), mp3::CrcStatus::Unverifiable);
    }
}

}  // namespace
