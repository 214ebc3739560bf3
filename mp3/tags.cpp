#include "mp3/tags.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace mp3 {
namespace {

constexpr char kApeMagic[] = "APETAGEX";
constexpr uint32_t kApeHasHeaderFlag = 0x80000000u;
constexpr int kLyrics3v2SizeDigits = 6;
constexpr char kLyrics3Begin[] = "LYRICSBEGIN";
constexpr char kLyrics3v1End[] = "LYRICSEND";
constexpr char kLyrics3v2End[] = "LYRICS200";
constexpr int kLyricsBeginLength = 11;
constexpr int kLyricsEndLength = 9;
// Lyrics3 v1 holds at most 5100 bytes of lyrics between its markers.
constexpr int kLyrics3v1MaxBody = 5100;
constexpr uint8_t kId3v24FooterFlag = 0x10;
// More tail tags than this cannot occur in a sensible file; stops pathological input.
constexpr int kMaxTailTags = 16;
constexpr int kMaxLeadingTags = 16;

bool Matches(const uint8_t* p, const char* text) { return std::memcmp(p, text, std::strlen(text)) == 0; }

uint32_t LittleEndian32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::optional<Id3v2Header> ParseId3v2Like(ByteView bytes, const char* magic) {
  if (bytes.size < size_t(kId3v2HeaderSize) || !Matches(bytes.data, magic)) return std::nullopt;
  const uint8_t major = bytes[3], revision = bytes[4];
  if (major < 2 || major > 4 || revision == 0xFF) return std::nullopt;
  uint32_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (bytes[size_t(i)] & 0x80) return std::nullopt;
    size = size << 7 | bytes[size_t(i)];
  }
  Id3v2Header h;
  h.majorVersion = major;
  h.revision = revision;
  h.flags = bytes[5];
  h.bodySize = size;
  h.hasFooter = major == 4 && (h.flags & kId3v24FooterFlag) != 0;
  return h;
}

// Reads `count` bytes ending at `end`; false when they are not all there or start
// before `floor`.
bool ReadBefore(ByteSource& source, uint64_t end, uint64_t floor, uint8_t* buffer, size_t count) {
  if (end < count || end - count < floor) return false;
  return ReadExact(source, end - count, buffer, count);
}

std::optional<TagInfo> Id3v1Before(ByteSource& source, uint64_t end, uint64_t floor) {
  uint8_t b[3];
  if (end < uint64_t(kId3v1Size) || end - kId3v1Size < floor) return std::nullopt;
  if (!ReadExact(source, end - kId3v1Size, b, 3) || !Matches(b, "TAG")) return std::nullopt;
  return TagInfo{TagKind::Id3v1, {end - kId3v1Size, uint64_t(kId3v1Size)}, 1};
}

std::optional<TagInfo> ApeBefore(ByteSource& source, uint64_t end, uint64_t floor) {
  uint8_t footer[kApeFooterSize];
  if (!ReadBefore(source, end, floor, footer, sizeof footer) || !Matches(footer, kApeMagic)) return std::nullopt;
  const uint32_t version = LittleEndian32(footer + 8);
  const uint32_t size = LittleEndian32(footer + 12);  // items + footer, header excluded
  const uint32_t flags = LittleEndian32(footer + 20);
  if (size < uint32_t(kApeFooterSize)) return std::nullopt;
  const bool hasHeader = version >= 2000 && (flags & kApeHasHeaderFlag) != 0;
  const uint64_t total = uint64_t(size) + (hasHeader ? kApeFooterSize : 0);
  if (end < total || end - total < floor) return std::nullopt;
  const uint64_t start = end - total;
  if (hasHeader) {
    uint8_t header[8];
    if (!ReadExact(source, start, header, sizeof header) || !Matches(header, kApeMagic)) return std::nullopt;
  }
  return TagInfo{TagKind::Ape, {start, total}, int(version)};
}

std::optional<TagInfo> Lyrics3v2Before(ByteSource& source, uint64_t end, uint64_t floor) {
  uint8_t trailer[kLyrics3v2SizeDigits + kLyricsEndLength];
  if (!ReadBefore(source, end, floor, trailer, sizeof trailer) ||
      !Matches(trailer + kLyrics3v2SizeDigits, kLyrics3v2End))
    return std::nullopt;
  uint64_t size = 0;
  for (int i = 0; i < kLyrics3v2SizeDigits; ++i) {
    if (trailer[i] < '0' || trailer[i] > '9') return std::nullopt;
    size = size * 10 + uint64_t(trailer[i] - '0');
  }
  const uint64_t total = size + sizeof trailer;  // the size counts from LYRICSBEGIN to the size digits
  if (size < uint64_t(kLyricsBeginLength) || end < total || end - total < floor) return std::nullopt;
  uint8_t begin[kLyricsBeginLength];
  if (!ReadExact(source, end - total, begin, sizeof begin) || !Matches(begin, kLyrics3Begin)) return std::nullopt;
  return TagInfo{TagKind::Lyrics3v2, {end - total, total}, 2};
}

std::optional<TagInfo> Lyrics3v1Before(ByteSource& source, uint64_t end, uint64_t floor) {
  uint8_t trailer[kLyricsEndLength];
  if (!ReadBefore(source, end, floor, trailer, sizeof trailer) || !Matches(trailer, kLyrics3v1End)) return std::nullopt;
  const uint64_t bodyEnd = end - kLyricsEndLength;
  uint64_t windowStart = bodyEnd > uint64_t(kLyrics3v1MaxBody + kLyricsBeginLength)
                             ? bodyEnd - (kLyrics3v1MaxBody + kLyricsBeginLength)
                             : 0;
  if (windowStart < floor) windowStart = floor;
  if (bodyEnd < windowStart + kLyricsBeginLength) return std::nullopt;
  std::string window(size_t(bodyEnd - windowStart), '\0');
  if (!ReadExact(source, windowStart, reinterpret_cast<uint8_t*>(&window[0]), window.size())) return std::nullopt;
  // The first marker in the window: lyrics text cannot contain the marker itself.
  const size_t at = window.find(kLyrics3Begin);
  if (at == std::string::npos) return std::nullopt;
  const uint64_t start = windowStart + at;
  return TagInfo{TagKind::Lyrics3v1, {start, end - start}, 1};
}

std::optional<TagInfo> Id3v2FooterBefore(ByteSource& source, uint64_t end, uint64_t floor) {
  uint8_t footer[kId3v2HeaderSize];
  if (!ReadBefore(source, end, floor, footer, sizeof footer)) return std::nullopt;
  const std::optional<Id3v2Header> h = ParseId3v2Footer(ByteView(footer, sizeof footer));
  if (!h) return std::nullopt;
  const uint64_t total = uint64_t(kId3v2HeaderSize) * 2 + h->bodySize;
  if (end < total || end - total < floor) return std::nullopt;
  uint8_t header[kId3v2HeaderSize];
  if (!ReadExact(source, end - total, header, sizeof header) || !ParseId3v2Header(ByteView(header, sizeof header)))
    return std::nullopt;
  return TagInfo{TagKind::Id3v2, {end - total, total}, h->majorVersion};
}

}  // namespace

const char* TagKindName(TagKind kind) {
  switch (kind) {
    case TagKind::Id3v2: return "ID3v2";
    case TagKind::Id3v1: return "ID3v1";
    case TagKind::Ape: return "APE";
    case TagKind::Lyrics3v1: return "Lyrics3v1";
    case TagKind::Lyrics3v2: return "Lyrics3v2";
  }
  return "?";
}

std::optional<Id3v2Header> ParseId3v2Header(ByteView bytes) { return ParseId3v2Like(bytes, "ID3"); }

std::optional<Id3v2Header> ParseId3v2Footer(ByteView bytes) {
  std::optional<Id3v2Header> h = ParseId3v2Like(bytes, "3DI");
  if (!h || h->majorVersion != 4) return std::nullopt;
  h->hasFooter = true;
  return h;
}

std::vector<TagInfo> FindLeadingTags(ByteSource& source, uint64_t offset) {
  std::vector<TagInfo> tags;
  const uint64_t size = source.Size();
  for (int i = 0; i < kMaxLeadingTags && offset < size; ++i) {
    uint8_t header[kId3v2HeaderSize];
    if (!ReadExact(source, offset, header, sizeof header)) break;
    const std::optional<Id3v2Header> h = ParseId3v2Header(ByteView(header, sizeof header));
    if (!h) break;
    uint64_t total = h->TotalSize();
    if (total > size - offset) total = size - offset;
    tags.push_back(TagInfo{TagKind::Id3v2, {offset, total}, h->majorVersion});
    offset += total;
  }
  return tags;
}

TailTags FindTailTags(ByteSource& source, uint64_t audioStart) {
  TailTags result;
  uint64_t end = source.Size();
  if (audioStart > end) audioStart = end;
  std::vector<TagInfo> found;  // collected from the end backwards
  for (int i = 0; i < kMaxTailTags; ++i) {
    std::optional<TagInfo> tag = Id3v1Before(source, end, audioStart);
    if (!tag) tag = ApeBefore(source, end, audioStart);
    if (!tag) tag = Lyrics3v2Before(source, end, audioStart);
    if (!tag) tag = Lyrics3v1Before(source, end, audioStart);
    if (!tag) tag = Id3v2FooterBefore(source, end, audioStart);
    if (!tag) break;
    found.push_back(*tag);
    end = tag->range.offset;
  }
  result.audioEnd = end;
  result.tags.assign(found.rbegin(), found.rend());
  return result;
}

namespace {

constexpr uint8_t kId3v2UnsyncFlag = 0x80;
constexpr uint8_t kId3v2ExtendedHeaderFlag = 0x40;  // v2.3 and v2.4; compression in v2.2
constexpr uint8_t kLatin1Encoding = 0;

struct Id3Frame {
  ByteRange range;
  bool isLength = false;
};

uint32_t BigEndianBytes(const uint8_t* p, int count, bool syncsafe) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = syncsafe ? value << 7 | (p[i] & 0x7F) : value << 8 | p[i];
  return value;
}

void PutSize(uint8_t* p, uint32_t value, int count, bool syncsafe) {
  for (int i = count - 1; i >= 0; --i) {
    p[i] = uint8_t(syncsafe ? value & 0x7F : value & 0xFF);
    value = syncsafe ? value >> 7 : value >> 8;
  }
}

// The frames of an ID3v2 tag in order; false when the tag cannot be walked.
bool WalkId3v2Frames(ByteSource& source, const TagInfo& tag, const Id3v2Header& header, std::vector<Id3Frame>& frames) {
  const int version = header.majorVersion;
  if (version < 4 && (header.flags & kId3v2UnsyncFlag)) return false;
  if (version == 2 && (header.flags & kId3v2ExtendedHeaderFlag)) return false;
  uint64_t pos = tag.range.offset + kId3v2HeaderSize;
  const uint64_t end = std::min<uint64_t>(tag.range.offset + kId3v2HeaderSize + header.bodySize, tag.range.End());
  if (version > 2 && (header.flags & kId3v2ExtendedHeaderFlag)) {
    uint8_t size[4];
    if (!ReadExact(source, pos, size, 4)) return false;
    pos += version == 3 ? 4 + uint64_t(BigEndianBytes(size, 4, false)) : BigEndianBytes(size, 4, true);
  }
  const int idSize = version == 2 ? 3 : 4;
  const int headerSize = version == 2 ? 6 : 10;
  while (pos + uint64_t(headerSize) <= end) {
    uint8_t h[10];
    if (!ReadExact(source, pos, h, size_t(headerSize))) return false;
    if (h[0] == 0) break;  // padding
    const uint64_t size = BigEndianBytes(h + idSize, version == 2 ? 3 : 4, version == 4);
    if (pos + headerSize + size > end) return false;
    const bool isLength = std::memcmp(h, version == 2 ? "TLE" : "TLEN", size_t(idSize)) == 0;
    frames.push_back({{pos, headerSize + size}, isLength});
    pos += headerSize + size;
  }
  return pos <= end;
}

std::vector<uint8_t> LengthFrame(int version, int digits) {
  const int headerSize = version == 2 ? 6 : 10;
  std::vector<uint8_t> frame(size_t(headerSize), 0);
  std::memcpy(frame.data(), version == 2 ? "TLE" : "TLEN", version == 2 ? 3 : 4);
  PutSize(frame.data() + (version == 2 ? 3 : 4), uint32_t(1 + digits), version == 2 ? 3 : 4, version == 4);
  frame.push_back(kLatin1Encoding);
  frame.insert(frame.end(), size_t(digits), '0');
  return frame;
}

}  // namespace

std::optional<LengthFrameRewrite> RewriteLengthFrame(ByteSource& source, const TagInfo& tag, int digits) {
  if (tag.kind != TagKind::Id3v2 || digits <= 0) return std::nullopt;
  uint8_t headerBytes[kId3v2HeaderSize];
  if (!ReadExact(source, tag.range.offset, headerBytes, sizeof headerBytes)) return std::nullopt;
  const std::optional<Id3v2Header> header = ParseId3v2Header(ByteView(headerBytes, sizeof headerBytes));
  std::vector<Id3Frame> frames;
  if (!header || !WalkId3v2Frames(source, tag, *header, frames)) return std::nullopt;
  const auto length = std::find_if(frames.begin(), frames.end(), [](const Id3Frame& f) { return f.isLength; });
  if (length == frames.end()) return std::nullopt;

  const std::vector<uint8_t> newFrame = LengthFrame(header->majorVersion, digits);
  const uint64_t bodySize = uint64_t(header->bodySize) - length->range.size + newFrame.size();
  if (bodySize >= (uint64_t(1) << 28)) return std::nullopt;
  LengthFrameRewrite rewrite;
  rewrite.digits = digits;
  std::vector<uint8_t> newHeader(headerBytes, headerBytes + kId3v2HeaderSize);
  PutSize(newHeader.data() + 6, uint32_t(bodySize), 4, true);
  rewrite.pieces.push_back({{}, newHeader});
  rewrite.pieces.push_back(
      {{tag.range.offset + kId3v2HeaderSize, length->range.offset - tag.range.offset - kId3v2HeaderSize}, {}});
  rewrite.lengthDigitsAt = length->range.offset - tag.range.offset + newFrame.size() - size_t(digits);
  rewrite.pieces.push_back({{}, newFrame});
  const uint64_t bodyEnd = tag.range.offset + kId3v2HeaderSize + header->bodySize;
  rewrite.pieces.push_back({{length->range.End(), std::min(bodyEnd, tag.range.End()) - length->range.End()}, {}});
  if (header->hasFooter) {
    std::vector<uint8_t> footer = newHeader;
    std::memcpy(footer.data(), "3DI", 3);
    rewrite.pieces.push_back({{}, footer});
  }
  return rewrite;
}

std::string LengthDigits(int64_t milliseconds, int digits) {
  std::string text = std::to_string(std::max<int64_t>(milliseconds, 0));
  if (int(text.size()) > digits) return std::string(size_t(std::max(digits, 0)), '9');  // never wider than the room
  text.insert(0, size_t(digits) - text.size(), '0');
  return text;
}

}  // namespace mp3
