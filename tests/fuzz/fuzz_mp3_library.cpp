// The library's reading entry points on any bytes: the scanner, the frame index, the file's
// stream, the tags at both ends and the length-frame rewrite.
#include <cstdint>
#include <cstring>
#include <vector>

#include "mp3/mp3.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Every byte of the region lies in exactly one event, in order; frames re-parse to their
// announced length; only the last event may be a truncated frame.
void CheckScan(mp3::ByteSource& source, mp3::ByteView bytes, const mp3::ScanOptions& options) {
    mp3::FrameScanner scanner(source, 0, bytes.size, options);
    mp3::ScanEvent event;
    uint64_t next = 0;
    bool ended = false;
    while (scanner.Next(event)) {
        FUZZ_CHECK(!ended);
        FUZZ_CHECK(event.kind != mp3::ScanEvent::Kind::ReadError);
        FUZZ_CHECK(event.offset == next && event.size > 0);
        next = event.offset + event.size;
        if (event.kind == mp3::ScanEvent::Kind::Frame) {
            std::optional<mp3::FrameHeader> header = mp3::ParseFrameHeader(bytes.Sub(size_t(event.offset)));
            FUZZ_CHECK(header && header->raw == event.header.raw);
            FUZZ_CHECK(event.size == uint64_t(event.header.FrameLength()));
            FUZZ_CHECK(event.size <= uint64_t(mp3::kMaxFreeFormatFrameLength) + 4);
        }
        if (event.kind == mp3::ScanEvent::Kind::Truncated) ended = true;
    }
    FUZZ_CHECK(next == bytes.size);
}

void CheckIndex(mp3::ByteSource& source, mp3::ByteView bytes) {
    mp3::IndexResult result = mp3::BuildFrameIndex(source);
    mp3::MainStreamResult stream = mp3::FindMainStream(source);
    FUZZ_CHECK(result.status == stream.status);
    if (!result.ok()) return;
    const mp3::FrameIndex& index = result.index;
    FUZZ_CHECK(index.FrameCount() == stream.stream.frames && index.AudioBytes() == stream.stream.bytes);
    FUZZ_CHECK(index.ForeignFrames() == stream.foreignFrames);
    uint64_t end = 0;
    for (size_t i = 0; i < index.FrameCount(); ++i) {
        FUZZ_CHECK(index.FrameOffset(i) >= end && index.FrameRange(i).End() <= bytes.size);
        end = index.FrameRange(i).End();
        std::optional<mp3::FrameHeader> header = mp3::ParseFrameHeader(bytes.Sub(size_t(index.FrameOffset(i))));
        FUZZ_CHECK(header.has_value());
        // A free-format header states no length: the stream's is the one it must have.
        if (header->FreeFormat()) header->SetFreeFormatLength(index.StreamHeader().freeFormatLength);
        FUZZ_CHECK(mp3::SameStream(*header, index.StreamHeader()) &&
                   uint64_t(header->FrameLength()) == index.FrameSize(i));
    }
    for (size_t i = 0; i < index.FrameCount(); ++i) FUZZ_CHECK(index.FrameAtUnits(index.FrameStartUnits(i)) == i);
    // The decision from a sample, with windows small enough to be taken on inputs this short:
    // it trusts the Xing counts, so only what it must keep whatever they say is checked.
    mp3::StreamSampling tiny;
    tiny.windows = 2 + int(bytes.size % 3);
    tiny.windowBytes = 256;
    tiny.minAudioBytes = 0;
    const mp3::MainStreamResult sampled = mp3::FindMainStream(source, {}, tiny);
    FUZZ_CHECK(sampled.status == stream.status && sampled.stream.frames > 0);
    FUZZ_CHECK(sampled.stream.firstFrameOffset + sampled.stream.bytes <= bytes.size);
    if (sampled.layout.info) FUZZ_CHECK(mp3::SameStream(sampled.layout.info->header, sampled.stream.header));
    if (index.Layout().info) FUZZ_CHECK(mp3::SameStream(index.Layout().info->header, index.StreamHeader()));
}

void CheckTags(mp3::ByteSource& source, mp3::ByteView bytes) {
    for (const mp3::TagInfo& tag : mp3::FindLeadingTags(source)) {
        FUZZ_CHECK(tag.range.End() <= bytes.size);
        std::optional<mp3::LengthFrameRewrite> rewrite = mp3::RewriteLengthFrame(source, tag, 1 + bytes.size % 9);
        if (!rewrite) continue;
        std::vector<uint8_t> written;
        for (const mp3::TagPiece& piece : rewrite->pieces) {
            FUZZ_CHECK(piece.source.End() <= bytes.size);
            written.insert(written.end(), piece.bytes.begin(), piece.bytes.end());
            const mp3::ByteView from = bytes.Sub(size_t(piece.source.offset), size_t(piece.source.size));
            written.insert(written.end(), from.begin(), from.end());
        }
        // The new tag is a tag whose stated size is what was written, with room for the digits.
        std::optional<mp3::Id3v2Header> header = mp3::ParseId3v2Header(mp3::ByteView(written));
        FUZZ_CHECK(header.has_value());
        FUZZ_CHECK(rewrite->lengthDigitsAt + size_t(rewrite->digits) <= written.size());
        FUZZ_CHECK(std::string(written.begin() + long(rewrite->lengthDigitsAt),
                               written.begin() + long(rewrite->lengthDigitsAt) + rewrite->digits) ==
                   std::string(size_t(rewrite->digits), '0'));
        std::optional<mp3::Id3v2Header> original = mp3::ParseId3v2Header(bytes.Sub(size_t(tag.range.offset)));
        if (original && original->TotalSize() == tag.range.size) FUZZ_CHECK(header->TotalSize() == written.size());
    }
    mp3::TailTags tail = mp3::FindTailTags(source);
    uint64_t at = tail.audioEnd;
    for (const mp3::TagInfo& tag : tail.tags) {
        FUZZ_CHECK(tag.range.offset == at);
        at = tag.range.End();
    }
    FUZZ_CHECK(tail.tags.empty() || at == bytes.size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const mp3::ByteView bytes(data, size);
    mp3::MemorySource source(bytes);
    mp3::ScanOptions options;
    if (size > 0) {
        options.confirmFrames = data[0] % 5;
        options.maxLeadingSkip = data[0] & 0x80 ? 300 : 0;
    }
    CheckScan(source, bytes, options);
    CheckIndex(source, bytes);
    CheckTags(source, bytes);
    return 0;
}
