#include <gtest/gtest.h>

#include <algorithm>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

using mp3::ChannelMode;
using mp3::Layer;
using mp3::Version;

// lame writes a Xing (VBR) or Info (CBR) frame with a LAME tag; every field that can be
// checked against the file itself is checked.
void ExpectLameInfoFrame(const char* name, bool expectInfo) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = mp3test::ReadFixture(name);
    mp3::MemorySource source{mp3::ByteView(file)};
    const mp3::IndexResult result = mp3::BuildFrameIndex(source);
    ASSERT_TRUE(result.ok());
    const mp3::FrameIndex& index = result.index;
    const mp3::StreamLayout& layout = index.Layout();
    ASSERT_TRUE(layout.info && layout.info->xing && layout.info->lame);
    const mp3::XingInfo& xing = *layout.info->xing;
    const mp3::LameTag& lame = *layout.info->lame;
    EXPECT_EQ(xing.isInfo, expectInfo);
    ASSERT_TRUE(xing.frames && xing.bytes && xing.toc);
    EXPECT_EQ(*xing.frames, index.FrameCount());
    EXPECT_EQ(*xing.bytes, layout.audioEnd - layout.firstFrameOffset);
    EXPECT_EQ(*xing.bytes, index.AudioBytes() + layout.infoFrameRange.size);
    EXPECT_EQ((*xing.toc)[0], 0);
    EXPECT_EQ(lame.encoder.substr(0, 4), "LAME");
    EXPECT_TRUE(lame.tagCrcValid);
    EXPECT_EQ(lame.encoderDelay, 576);
    EXPECT_GT(lame.encoderPadding, 0);
    EXPECT_EQ(lame.musicLength, *xing.bytes);
    uint16_t musicCrc = 0;
    for (size_t i = 0; i < index.FrameCount(); ++i)
        musicCrc =
            mp3::LameCrc16Update(musicCrc, mp3::ByteView(file).Sub(size_t(index.FrameOffset(i)), index.FrameSize(i)));
    EXPECT_EQ(lame.musicCrc, musicCrc);
    EXPECT_TRUE(layout.estimatedFromHeader);
    EXPECT_EQ(layout.estimatedFrames, index.FrameCount());
}

TEST(InfoFrame, ReadsWhatLameWrote) {
    ExpectLameInfoFrame("vbr.mp3", false);
    ExpectLameInfoFrame("cbr128.mp3", true);
    ExpectLameInfoFrame("mpeg2.mp3", true);  // MPEG-2 mono: other side-info size
}

TEST(InfoFrame, FileWithoutOneHasNone) {
    mp3test::FixtureFile f("mpeg25.mp3");  // lame writes no Info frame at 16 kb/s
    const mp3::AnalyzeResult a = mp3::AnalyzeStream(f.Source());
    ASSERT_TRUE(a.ok());
    EXPECT_FALSE(a.layout.info);
    EXPECT_EQ(a.layout.infoFrameRange.size, 0u);
    EXPECT_EQ(a.layout.firstAudioFrameOffset, a.layout.firstFrameOffset);
    EXPECT_FALSE(a.layout.estimatedFromHeader);
    const mp3::IndexResult index = mp3::BuildFrameIndex(f.Source());
    ASSERT_TRUE(index.ok());
    EXPECT_EQ(index.index.FrameOffset(0), 0u);
    // CBR: the estimate from the bitrate is exact up to rounding.
    EXPECT_NEAR(double(a.layout.estimatedFrames), double(index.index.FrameCount()), 1.0);
}

TEST(InfoFrame, ATamperedLameTagFailsItsCrc) {
    std::vector<uint8_t> file = mp3test::ReadFixture("vbr.mp3");
    mp3::MemorySource source{mp3::ByteView(file)};
    const mp3::AnalyzeResult before = mp3::AnalyzeStream(source);
    ASSERT_TRUE(before.ok() && before.layout.info && before.layout.info->lame);
    const size_t delayAt = size_t(before.layout.firstFrameOffset) + before.layout.info->lame->offsetInFrame + 21;
    file[delayAt] ^= 0x01;
    const mp3::AnalyzeResult after = mp3::AnalyzeStream(source);
    ASSERT_TRUE(after.layout.info && after.layout.info->lame);
    EXPECT_FALSE(after.layout.info->lame->tagCrcValid);
    EXPECT_NE(after.layout.info->lame->encoderDelay, 576);
}

mp3::Toc RisingToc() {
    mp3::Toc toc{};
    for (int i = 0; i < 100; ++i) toc[size_t(i)] = uint8_t(i * 255 / 99);
    return toc;
}

TEST(InfoFrame, BuildThenParseRoundTrip) {
    const struct {
        Version version;
        int rate;
        ChannelMode mode;
    } streams[] = {
        {Version::Mpeg1, 44100, ChannelMode::JointStereo}, {Version::Mpeg1, 48000, ChannelMode::Mono},
        {Version::Mpeg1, 32000, ChannelMode::Stereo},      {Version::Mpeg2, 22050, ChannelMode::Mono},
        {Version::Mpeg2, 24000, ChannelMode::JointStereo}, {Version::Mpeg25, 8000, ChannelMode::Mono},
        {Version::Mpeg25, 11025, ChannelMode::Stereo},
    };
    for (const auto& s : streams) {
        for (int variant = 0; variant < 3; ++variant) {
            SCOPED_TRACE(testing::Message() << mp3::VersionName(s.version) << " " << s.rate << " variant " << variant);
            const std::optional<mp3::FrameHeader> like = mp3::MakeFrameHeader(
                s.version, Layer::III, s.version == Version::Mpeg1 ? 128 : 64, s.rate, s.mode, true, true);
            ASSERT_TRUE(like);
            mp3::InfoFrameRequest wanted;
            wanted.like = *like;
            wanted.asInfo = variant == 1;
            wanted.frames = 12345;
            wanted.bytes = 4000000;
            if (variant != 2) wanted.toc = RisingToc();
            if (variant == 0) wanted.quality = 57;
            if (variant != 2) {
                mp3::LameFields lame;
                lame.encoderDelay = 576 + variant;
                lame.encoderPadding = 1234;
                lame.musicCrc = 0xBEEF;
                wanted.lame = lame;
            }
            const std::vector<uint8_t> frame = mp3::BuildInfoFrame(wanted);
            ASSERT_FALSE(frame.empty());
            const std::optional<mp3::FrameHeader> h = mp3::ParseFrameHeader(mp3::ByteView(frame));
            ASSERT_TRUE(h);
            EXPECT_EQ(size_t(h->FrameLength()), frame.size());
            EXPECT_TRUE(mp3::SameStream(*h, *like));
            EXPECT_EQ(h->channelMode, s.mode);
            EXPECT_FALSE(h->hasCrc);
            EXPECT_FALSE(h->padding);
            // The smallest bitrate that fits: one step down would not hold the fields.
            const int* table = mp3::BitrateTable(h->version, h->layer);
            if (h->bitrateIndex > 1) {
                const int smaller =
                    mp3::ComputeFrameLength(h->version, h->layer, table[h->bitrateIndex - 2], h->sampleRate, false);
                const std::optional<mp3::InfoFrame> parsedForSize = mp3::ParseInfoFrame(*h, mp3::ByteView(frame));
                ASSERT_TRUE(parsedForSize && parsedForSize->xing);
                const size_t used = parsedForSize->lame ? parsedForSize->lame->offsetInFrame + mp3::kLameTagSize
                                                        : parsedForSize->xing->EndInFrame();
                EXPECT_LT(size_t(smaller), used);
            }
            // Side information is zero: a silent frame.
            for (int i = 4; i < h->DataOffset(); ++i) EXPECT_EQ(frame[size_t(i)], 0) << i;
            const std::optional<mp3::InfoFrame> info = mp3::ParseInfoFrame(*h, mp3::ByteView(frame));
            ASSERT_TRUE(info && info->xing);
            EXPECT_EQ(info->xing->isInfo, wanted.asInfo);
            EXPECT_EQ(info->xing->frames, 12345u);
            EXPECT_EQ(info->xing->bytes, 4000000u + frame.size());
            EXPECT_EQ(info->xing->toc.has_value(), wanted.toc.has_value());
            if (wanted.toc) {
                EXPECT_EQ(*info->xing->toc, *wanted.toc);
            }
            EXPECT_EQ(info->xing->quality, wanted.quality);
            ASSERT_EQ(info->lame.has_value(), wanted.lame.has_value());
            if (info->lame) {
                EXPECT_EQ(info->lame->encoder, "LAME3.100");
                EXPECT_EQ(info->lame->encoderDelay, 576 + variant);
                EXPECT_EQ(info->lame->encoderPadding, 1234);
                EXPECT_EQ(info->lame->musicCrc, 0xBEEF);
                EXPECT_EQ(info->lame->musicLength, 4000000u + frame.size());
                EXPECT_TRUE(info->lame->tagCrcValid);
            }
        }
    }
}

TEST(InfoFrame, BuiltFrameLeadsAStreamAndIsNotAudio) {
    std::vector<uint8_t> audio = mp3test::SilentStream(40);
    mp3::MemorySource audioSource{mp3::ByteView(audio)};
    const mp3::IndexResult plain = mp3::BuildFrameIndex(audioSource);
    ASSERT_TRUE(plain.ok());
    mp3::InfoFrameRequest wanted;
    wanted.like = plain.index.StreamHeader();
    wanted.frames = uint32_t(plain.index.FrameCount());
    wanted.bytes = uint32_t(plain.index.AudioBytes());
    wanted.toc = mp3::BuildToc(plain.index.FrameCount(), plain.index.AudioBytes(),
                               [&](uint64_t f) { return plain.index.FrameOffset(size_t(f)); });
    wanted.lame = mp3::LameFields{};
    std::vector<uint8_t> file = mp3::BuildInfoFrame(wanted);
    mp3test::Append(file, audio);
    mp3::MemorySource source{mp3::ByteView(file)};
    const mp3::IndexResult withInfo = mp3::BuildFrameIndex(source);
    ASSERT_TRUE(withInfo.ok());
    EXPECT_EQ(withInfo.index.FrameCount(), 40u);
    EXPECT_EQ(withInfo.index.DurationUnits(), plain.index.DurationUnits());
    EXPECT_EQ(withInfo.index.FrameOffset(0), withInfo.index.Layout().infoFrameRange.size);
    ASSERT_TRUE(withInfo.index.Layout().info && withInfo.index.Layout().info->xing);
    const mp3::Toc& toc = *withInfo.index.Layout().info->xing->toc;
    EXPECT_EQ(toc[0], 0);
    EXPECT_EQ(toc[50], plain.index.FrameOffset(20) * 256 / plain.index.AudioBytes());
    EXPECT_TRUE(std::is_sorted(toc.begin(), toc.end()));
}

TEST(InfoFrame, LayerOneAndTwoAreNotWritten) {
    mp3::InfoFrameRequest wanted;
    wanted.like = *mp3::MakeFrameHeader(Version::Mpeg1, Layer::II, 192, 48000, ChannelMode::Stereo);
    EXPECT_TRUE(mp3::BuildInfoFrame(wanted).empty());
    wanted.like = *mp3::MakeFrameHeader(Version::Mpeg1, Layer::I, 192, 48000, ChannelMode::Stereo);
    EXPECT_TRUE(mp3::BuildInfoFrame(wanted).empty());
}

TEST(InfoFrame, DelayAndPaddingAreClampedTo12Bits) {
    mp3::InfoFrameRequest wanted;
    wanted.like = *mp3::MakeFrameHeader(Version::Mpeg1, Layer::III, 128, 44100, ChannelMode::Stereo);
    mp3::LameFields lame;
    lame.encoderDelay = 5000;
    lame.encoderPadding = -3;
    wanted.lame = lame;
    const std::vector<uint8_t> frame = mp3::BuildInfoFrame(wanted);
    const std::optional<mp3::InfoFrame> info =
        mp3::ParseInfoFrame(*mp3::ParseFrameHeader(mp3::ByteView(frame)), mp3::ByteView(frame));
    ASSERT_TRUE(info && info->lame);
    EXPECT_EQ(info->lame->encoderDelay, 4095);
    EXPECT_EQ(info->lame->encoderPadding, 0);
}

void PutBe(std::vector<uint8_t>& to, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) to.push_back(uint8_t(v >> (8 * i)));
}

TEST(Vbri, ParsesHeaderAndTable) {
    std::vector<uint8_t> frame = mp3test::SilentFrame(Version::Mpeg1, Layer::III, 128, 44100, ChannelMode::Stereo);
    std::vector<uint8_t> vbri;
    mp3test::Append(vbri, std::string("VBRI"));
    PutBe(vbri, 1, 2);       // version
    PutBe(vbri, 0x1234, 2);  // delay
    PutBe(vbri, 75, 2);      // quality
    PutBe(vbri, 987654, 4);  // bytes
    PutBe(vbri, 4321, 4);    // frames
    PutBe(vbri, 3, 2);       // entries
    PutBe(vbri, 1, 2);       // scale
    PutBe(vbri, 2, 2);       // entry size
    PutBe(vbri, 1440, 2);    // frames per entry
    for (uint32_t v : {300u, 400u, 500u}) PutBe(vbri, v, 2);
    std::copy(vbri.begin(), vbri.end(), frame.begin() + 36);
    const std::optional<mp3::InfoFrame> info =
        mp3::ParseInfoFrame(*mp3::ParseFrameHeader(mp3::ByteView(frame)), mp3::ByteView(frame));
    ASSERT_TRUE(info && info->vbri);
    EXPECT_FALSE(info->xing);
    EXPECT_EQ(info->vbri->frames, 4321u);
    EXPECT_EQ(info->vbri->bytes, 987654u);
    EXPECT_EQ(info->vbri->quality, 75);
    EXPECT_EQ(info->vbri->framesPerEntry, 1440);
    EXPECT_EQ(info->vbri->toc, (std::vector<uint32_t>{300, 400, 500}));
    // A table that runs past the frame is refused.
    frame[36 + 18] = 0x7F;
    EXPECT_FALSE(mp3::ParseVbri(mp3::ByteView(frame)));
}

}  // namespace
