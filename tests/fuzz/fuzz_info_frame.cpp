// Information frames built from any request parse back to what was asked, with a valid LAME
// tag checksum; any frame the parser accepts keeps its fields inside the frame.
#include <cstdint>
#include <cstring>

#include "mp3/mp3.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Next(int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | (pos_ < size_ ? data_[pos_++] : 0);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Any bytes as a frame: parsing stays inside them.
    if (std::optional<mp3::FrameHeader> header = mp3::ParseFrameHeader(mp3::ByteView(data, size))) {
        if (std::optional<mp3::InfoFrame> info = mp3::ParseInfoFrame(*header, mp3::ByteView(data, size))) {
            if (info->xing && info->lame) FUZZ_CHECK(info->lame->offsetInFrame + mp3::kLameTagSize <= size);
        }
    }

    Reader in(data, size);
    const auto version = static_cast<mp3::Version>(in.Next(1) % 3);
    const int sampleRate = mp3::SampleRateTable(version)[in.Next(1) % 3];
    const auto mode = static_cast<mp3::ChannelMode>(in.Next(1) % 4);
    std::optional<mp3::FrameHeader> like = mp3::MakeFrameHeader(
        version, mp3::Layer::III, mp3::BitrateTable(version, mp3::Layer::III)[in.Next(1) % 14], sampleRate, mode);
    FUZZ_CHECK(like.has_value());
    mp3::InfoFrameRequest wanted;
    wanted.like = *like;
    const uint32_t flags = in.Next(1);
    wanted.asInfo = flags & 1;
    wanted.frames = in.Next(4);
    wanted.bytes = in.Next(4) % 0xF0000000u;
    if (flags & 2) {
        mp3::Toc toc;
        uint32_t value = 0;
        for (uint8_t& entry : toc) entry = uint8_t(value = std::min<uint32_t>(255, value + in.Next(1) % 8));
        wanted.toc = toc;
    }
    if (flags & 4) wanted.quality = in.Next(4);
    if (flags & 8) {
        mp3::LameFields lame;
        lame.encoderDelay = int(in.Next(2) % 4096);
        lame.encoderPadding = int(in.Next(2) % 4096);
        lame.musicCrc = uint16_t(in.Next(2));
        lame.vbrMethod = uint8_t(in.Next(1) % 16);
        wanted.lame = lame;
    }
    const std::vector<uint8_t> frame = mp3::BuildInfoFrame(wanted);
    if (frame.empty()) return 0;  // too many fields for the largest frame at this rate
    std::optional<mp3::FrameHeader> header = mp3::ParseFrameHeader(mp3::ByteView(frame));
    FUZZ_CHECK(header && size_t(header->FrameLength()) == frame.size() && mp3::SameStream(*header, *like));
    std::optional<mp3::InfoFrame> info = mp3::ParseInfoFrame(*header, mp3::ByteView(frame));
    FUZZ_CHECK(info && info->xing);
    FUZZ_CHECK(info->xing->isInfo == wanted.asInfo);
    FUZZ_CHECK(info->xing->frames == wanted.frames);
    FUZZ_CHECK(info->xing->bytes == wanted.bytes + frame.size());
    FUZZ_CHECK(info->xing->toc == wanted.toc);
    FUZZ_CHECK(info->xing->quality == wanted.quality);
    FUZZ_CHECK(info->lame.has_value() == wanted.lame.has_value());
    if (info->lame) {
        FUZZ_CHECK(info->lame->tagCrcValid);
        FUZZ_CHECK(info->lame->encoderDelay == wanted.lame->encoderDelay);
        FUZZ_CHECK(info->lame->encoderPadding == wanted.lame->encoderPadding);
        FUZZ_CHECK(info->lame->musicCrc == wanted.lame->musicCrc);
    }
    return 0;
}
