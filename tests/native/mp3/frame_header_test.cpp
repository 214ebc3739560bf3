#include <gtest/gtest.h>

#include "mp3/mp3.h"

namespace {

using mp3::ChannelMode;
using mp3::Layer;
using mp3::Version;

// Header bits assembled by hand, independently of MakeFrameHeader.
uint32_t Raw(uint32_t versionBits, uint32_t layerBits, bool crc, uint32_t bitrateIndex, uint32_t rateIndex, bool pad,
             uint32_t mode, uint32_t emphasis = 0) {
    return 0xFFE00000u | versionBits << 19 | layerBits << 17 | (crc ? 0u : 1u) << 16 | bitrateIndex << 12 |
           rateIndex << 10 | uint32_t(pad) << 9 | mode << 6 | emphasis;
}

struct HeaderCase {
    uint32_t raw;
    Version version;
    Layer layer;
    int bitrate;
    int rate;
    int length;
    int samples;
    int channels;
    int sideInfo;
};

TEST(FrameHeader, DecodesVersionsLayersAndLengths) {
    const HeaderCase cases[] = {
        {0xFFFB9064, Version::Mpeg1, Layer::III, 128, 44100, 417, 1152, 2, 32},  // a LAME frame
        {Raw(3, 1, false, 9, 0, true, 1), Version::Mpeg1, Layer::III, 128, 44100, 418, 1152, 2, 32},
        {Raw(3, 1, false, 14, 1, false, 0), Version::Mpeg1, Layer::III, 320, 48000, 960, 1152, 2, 32},
        {Raw(3, 1, false, 1, 2, false, 3), Version::Mpeg1, Layer::III, 32, 32000, 144, 1152, 1, 17},
        {Raw(3, 2, false, 14, 2, true, 0), Version::Mpeg1, Layer::II, 384, 32000, 1729, 1152, 2, 0},
        {Raw(3, 3, false, 14, 2, false, 0), Version::Mpeg1, Layer::I, 448, 32000, 672, 384, 2, 0},
        {Raw(3, 3, false, 1, 0, false, 3), Version::Mpeg1, Layer::I, 32, 44100, 32, 384, 1, 0},
        {Raw(3, 3, false, 1, 0, true, 3), Version::Mpeg1, Layer::I, 32, 44100, 36, 384, 1, 0},
        {Raw(2, 1, false, 8, 0, false, 3), Version::Mpeg2, Layer::III, 64, 22050, 208, 576, 1, 9},
        {Raw(2, 1, true, 1, 1, false, 0), Version::Mpeg2, Layer::III, 8, 24000, 24, 576, 2, 17},
        {Raw(2, 2, false, 14, 1, false, 0), Version::Mpeg2, Layer::II, 160, 24000, 960, 1152, 2, 0},
        {Raw(2, 3, false, 14, 2, false, 0), Version::Mpeg2, Layer::I, 256, 16000, 768, 384, 2, 0},
        {Raw(0, 1, false, 2, 2, false, 3), Version::Mpeg25, Layer::III, 16, 8000, 144, 576, 1, 9},
        {Raw(0, 1, false, 14, 0, true, 2), Version::Mpeg25, Layer::III, 160, 11025, 1045, 576, 2, 17},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.raw);
        const std::optional<mp3::FrameHeader> h = mp3::ParseFrameHeader(c.raw);
        ASSERT_TRUE(h.has_value());
        EXPECT_EQ(h->version, c.version);
        EXPECT_EQ(h->layer, c.layer);
        EXPECT_EQ(h->bitrateKbps, c.bitrate);
        EXPECT_EQ(h->sampleRate, c.rate);
        EXPECT_EQ(h->FrameLength(), c.length);
        EXPECT_EQ(h->SamplesPerFrame(), c.samples);
        EXPECT_EQ(h->Channels(), c.channels);
        EXPECT_EQ(h->SideInfoSize(), c.sideInfo);
    }
}

TEST(FrameHeader, ReadsFlagsAndFieldsOfARealHeader) {
    const std::optional<mp3::FrameHeader> h = mp3::ParseFrameHeader(0xFFFB9064);  // 0x64: joint, ext 2, original
    ASSERT_TRUE(h);
    EXPECT_FALSE(h->hasCrc);
    EXPECT_FALSE(h->padding);
    EXPECT_EQ(h->channelMode, ChannelMode::JointStereo);
    EXPECT_EQ(h->modeExtension, 2);
    EXPECT_TRUE(h->original);
    EXPECT_FALSE(h->copyright);
    EXPECT_EQ(h->DataOffset(), 36);
    const std::optional<mp3::FrameHeader> crc = mp3::ParseFrameHeader(0xFFFA9064);
    ASSERT_TRUE(crc);
    EXPECT_TRUE(crc->hasCrc);
    EXPECT_EQ(crc->DataOffset(), 38);
}

TEST(FrameHeader, RefusesReservedValues) {
    const struct {
        const char* what;
        uint32_t raw;
    } refused[] = {
        {"bitrate index 15", Raw(3, 1, false, 15, 0, false, 0)},
        {"reserved version", Raw(1, 1, false, 9, 0, false, 0)},
        {"reserved layer", Raw(3, 0, false, 9, 0, false, 0)},
        {"reserved sample rate", Raw(3, 1, false, 9, 3, false, 0)},
        {"reserved emphasis", Raw(3, 1, false, 9, 0, false, 0, 2)},
        {"broken sync", 0xFFC39064},
        {"no sync", 0x49443303},
        {"Layer II 32 kb/s stereo", Raw(3, 2, false, 1, 0, false, 0)},
        {"Layer II 384 kb/s mono", Raw(3, 2, false, 14, 0, false, 3)},
        {"MPEG-2.5 Layer II", Raw(0, 2, false, 14, 0, false, 0)},
        {"MPEG-2.5 Layer I", Raw(0, 3, false, 14, 0, false, 0)},
    };
    for (const auto& r : refused) EXPECT_FALSE(mp3::ParseFrameHeader(r.raw)) << r.what;
    // Free format is a valid header whose length only the stream tells.
    const std::optional<mp3::FrameHeader> free = mp3::ParseFrameHeader(Raw(3, 1, false, 0, 0, false, 0));
    ASSERT_TRUE(free && free->FreeFormat());
    EXPECT_EQ(free->FrameLength(), 0);
    EXPECT_TRUE(mp3::ParseFrameHeader(Raw(3, 2, false, 1, 0, false, 3))) << "Layer II 32 kb/s mono is fine";
    EXPECT_TRUE(mp3::ParseFrameHeader(Raw(2, 2, false, 1, 0, false, 0))) << "MPEG-2 Layer II has no mode rules";
    const uint8_t three[] = {0xFF, 0xFB, 0x90};
    EXPECT_FALSE(mp3::ParseFrameHeader(mp3::ByteView(three, 3)));
}

TEST(FrameHeader, MakeBuildsWhatParseReads) {
    for (Version v : {Version::Mpeg1, Version::Mpeg2, Version::Mpeg25}) {
        for (Layer l : {Layer::I, Layer::II, Layer::III}) {
            const int* table = mp3::BitrateTable(v, l);
            for (int i = 0; i < 14; ++i) {
                const std::optional<mp3::FrameHeader> h =
                    mp3::MakeFrameHeader(v, l, table[i],
                                         v == Version::Mpeg1   ? 48000
                                         : v == Version::Mpeg2 ? 24000
                                                               : 12000,
                                         ChannelMode::Stereo, i % 2 == 0, i % 3 == 0);
                if ((l == Layer::II && v == Version::Mpeg1 && (table[i] <= 56 || table[i] == 80)) ||
                    (v == Version::Mpeg25 && l != Layer::III)) {
                    EXPECT_FALSE(h) << mp3::VersionName(v) << " layer " << int(l) << " stereo at " << table[i];
                    continue;
                }
                ASSERT_TRUE(h) << mp3::VersionName(v) << " layer " << int(l) << " " << table[i];
                EXPECT_EQ(h->bitrateKbps, table[i]);
                EXPECT_EQ(h->padding, i % 2 == 0);
                EXPECT_EQ(h->hasCrc, i % 3 == 0);
                EXPECT_EQ(h->version, v);
                EXPECT_EQ(h->layer, l);
            }
        }
    }
    for (Version v : {Version::Mpeg1, Version::Mpeg2, Version::Mpeg25})
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(
                mp3::MakeFrameHeader(v, Layer::III, 64, mp3::SampleRateTable(v)[i], ChannelMode::Mono)->sampleRateIndex,
                i);
    EXPECT_EQ(mp3::SampleRateTable(Version::Mpeg25)[2], 8000);
    EXPECT_FALSE(mp3::MakeFrameHeader(Version::Mpeg1, Layer::III, 129, 44100, ChannelMode::Stereo));
    EXPECT_FALSE(mp3::MakeFrameHeader(Version::Mpeg1, Layer::III, 128, 22050, ChannelMode::Stereo));
}

TEST(FrameHeader, SameStreamComparesVersionLayerAndRateOnly) {
    const auto a = mp3::MakeFrameHeader(Version::Mpeg1, Layer::III, 128, 44100, ChannelMode::JointStereo);
    const auto b = mp3::MakeFrameHeader(Version::Mpeg1, Layer::III, 320, 44100, ChannelMode::Stereo, true, true);
    const auto otherRate = mp3::MakeFrameHeader(Version::Mpeg1, Layer::III, 128, 48000, ChannelMode::JointStereo);
    const auto otherLayer = mp3::MakeFrameHeader(Version::Mpeg1, Layer::II, 128, 44100, ChannelMode::Stereo);
    const auto otherVersion = mp3::MakeFrameHeader(Version::Mpeg2, Layer::III, 128, 22050, ChannelMode::Stereo);
    ASSERT_TRUE(a && b && otherRate && otherLayer && otherVersion);
    EXPECT_TRUE(mp3::SameStream(*a, *b));
    EXPECT_FALSE(mp3::SameStream(*a, *otherRate));
    EXPECT_FALSE(mp3::SameStream(*a, *otherLayer));
    EXPECT_FALSE(mp3::SameStream(*a, *otherVersion));
}

TEST(FrameHeader, SmallestBitrateThatHoldsABody) {
    EXPECT_EQ(mp3::SmallestBitrateFor(Version::Mpeg1, Layer::III, 44100, 192), 64);  // 56: 182, 64: 208
    EXPECT_EQ(mp3::SmallestBitrateFor(Version::Mpeg1, Layer::III, 44100, 104), 32);
    EXPECT_EQ(mp3::SmallestBitrateFor(Version::Mpeg2, Layer::III, 22050, 160), 56);  // 48: 156, 56: 182
    EXPECT_EQ(mp3::SmallestBitrateFor(Version::Mpeg25, Layer::III, 8000, 192), 24);  // 16: 144, 24: 216
    EXPECT_FALSE(mp3::SmallestBitrateFor(Version::Mpeg1, Layer::III, 48000, 2000));
}

TEST(MediaTime, ConvertsAndTruncatesWithoutOverflow) {
    EXPECT_EQ(mp3::SamplesToUnits(44100, 44100), 10000000);
    EXPECT_EQ(mp3::SamplesToUnits(1152, 44100), 261224);  // 26.1224... ms
    EXPECT_EQ(mp3::SamplesToMs(1152, 44100), 26);
    EXPECT_EQ(mp3::UnitsToSamples(261224, 44100), 1151);
    EXPECT_EQ(mp3::MsToSamples(1000, 22050), 22050);
    const int64_t hours = int64_t(1000000) * 3600 * 48000;  // a million hours of samples
    EXPECT_EQ(mp3::SamplesToUnits(hours, 48000), int64_t(1000000) * 3600 * 10000000);
    EXPECT_GT(mp3::SamplesToUnits(INT64_MAX, 8000), 0);  // saturates instead of wrapping
    EXPECT_EQ(mp3::SamplesToUnits(100, 0), 0);
}

}  // namespace
