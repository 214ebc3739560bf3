// Metadata tags around the audio: ID3v2 at the start (and, rarely, with a footer at the
// end), ID3v1, APEv2 and Lyrics3 at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/byte_source.h"

namespace mp3 {

struct ByteRange {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t End() const { return offset + size; }
  bool operator==(const ByteRange& o) const { return offset == o.offset && size == o.size; }
};

enum class TagKind : uint8_t { Id3v2, Id3v1, Ape, Lyrics3v1, Lyrics3v2 };
const char* TagKindName(TagKind kind);

struct TagInfo {
  TagKind kind = TagKind::Id3v1;
  ByteRange range;  // the whole tag, header and footer included
  int version = 0;  // ID3v2: major version 2..4; APE: 1000 or 2000; others 0
};

constexpr int kId3v2HeaderSize = 10;
constexpr int kId3v1Size = 128;
constexpr int kApeFooterSize = 32;

struct Id3v2Header {
  int majorVersion = 0;  // 2, 3 or 4
  int revision = 0;
  uint8_t flags = 0;
  uint32_t bodySize = 0;   // the syncsafe size field: everything after the header, footer excluded
  bool hasFooter = false;  // v2.4 footer flag: 10 more bytes after the body
  uint64_t TotalSize() const { return kId3v2HeaderSize + uint64_t(bodySize) + (hasFooter ? kId3v2HeaderSize : 0); }
};

// Parses an ID3v2 header ("ID3", version 2..4, syncsafe size with clear high bits).
std::optional<Id3v2Header> ParseId3v2Header(ByteView bytes);
// Parses an ID3v2.4 footer ("3DI"): the tag ends at the footer's end.
std::optional<Id3v2Header> ParseId3v2Footer(ByteView bytes);

// The ID3v2 tags at `offset` and directly after one another (some files carry two).
// Tags announcing more bytes than the source holds are clipped to the source.
std::vector<TagInfo> FindLeadingTags(ByteSource& source, uint64_t offset = 0);

struct TailTags {
  uint64_t audioEnd = 0;      // first byte after the audio (where the first tail tag starts)
  std::vector<TagInfo> tags;  // in file order
};

// A tag written anew: ranges of the source copied unchanged and new bytes, in order (each
// piece is one or the other).
struct TagPiece {
  ByteRange source;
  std::vector<uint8_t> bytes;
};

// An ID3v2 tag whose length frame (TLEN, TLE in v2.2) is replaced by one with room for
// `digits` digits; the digits (initially zeros) lie at `lengthDigitsAt` bytes into the new
// tag, to be written once the length is known. Frames keep their order and bytes.
struct LengthFrameRewrite {
  std::vector<TagPiece> pieces;
  uint64_t lengthDigitsAt = 0;
  int digits = 0;
};

// nullopt when the tag has no length frame, or is written in a way that cannot be walked
// frame by frame without decoding it (v2.2/v2.3 unsynchronisation, v2.2 compression).
std::optional<LengthFrameRewrite> RewriteLengthFrame(ByteSource& source, const TagInfo& tag, int digits);

// Milliseconds as `digits` decimal digits, zeros in front (the length frame's text).
std::string LengthDigits(int64_t milliseconds, int digits);

// Walks backwards from the end of the data down to `audioStart` and recognises ID3v1,
// APEv2 (with or without header; APEv1 footer-only), Lyrics3 v1 and v2 and an ID3v2 tag
// with a footer, in any order combination (e.g. APE + ID3v1, Lyrics3 + ID3v1,
// ID3v2-with-footer + APE + ID3v1). Sizes that run before `audioStart` are refused.
TailTags FindTailTags(ByteSource& source, uint64_t audioStart = 0);

}  // namespace mp3
