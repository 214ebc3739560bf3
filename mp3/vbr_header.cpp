#include "mp3/vbr_header.h"

#include <algorithm>
#include <cstring>

#include "mp3/crc.h"

namespace mp3 {
namespace {

constexpr int kXingMagicSize = 4;
constexpr int kXingFlagsSize = 4;
constexpr int kXingFieldSize = 4;
constexpr int kTocSize = 100;
constexpr int kEncoderSize = 9;
// Offsets inside the LAME tag.
constexpr int kLameRevisionAt = 9;
constexpr int kLameLowpassAt = 10;
constexpr int kLamePeakAt = 11;
constexpr int kLameTrackGainAt = 15;
constexpr int kLameAlbumGainAt = 17;
constexpr int kLameFlagsAt = 19;
constexpr int kLameAbrAt = 20;
constexpr int kLameDelayAt = 21;
constexpr int kLameMiscAt = 24;
constexpr int kLameMp3GainAt = 25;
constexpr int kLamePresetAt = 26;
constexpr int kLameMusicLengthAt = 28;
constexpr int kLameMusicCrcAt = 32;
constexpr int kLameTagCrcAt = 34;
// VBRI sits at a fixed place: 32 bytes after the header.
constexpr int kVbriOffset = 4 + 32;
constexpr int kVbriFixedSize = 26;

uint32_t BigEndian(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

void PutBigEndian(uint8_t* p, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = uint8_t(v);
}

std::optional<XingInfo> ParseXingAt(ByteView frame, size_t at) {
  if (frame.size < at + kXingMagicSize + kXingFlagsSize) return std::nullopt;
  const uint8_t* p = frame.data + at;
  XingInfo x;
  if (std::memcmp(p, "Info", 4) == 0) {
    x.isInfo = true;
  } else if (std::memcmp(p, "Xing", 4) != 0) {
    return std::nullopt;
  }
  x.offsetInFrame = at;
  x.flags = BigEndian(p + 4, 4);
  size_t pos = at + kXingMagicSize + kXingFlagsSize;
  auto field = [&](size_t size) -> const uint8_t* {
    if (frame.size < pos + size) return nullptr;
    const uint8_t* f = frame.data + pos;
    pos += size;
    return f;
  };
  if (x.flags & kXingFrames) {
    const uint8_t* f = field(kXingFieldSize);
    if (!f) return std::nullopt;
    x.frames = BigEndian(f, 4);
  }
  if (x.flags & kXingBytes) {
    const uint8_t* f = field(kXingFieldSize);
    if (!f) return std::nullopt;
    x.bytes = BigEndian(f, 4);
  }
  if (x.flags & kXingToc) {
    const uint8_t* f = field(kTocSize);
    if (!f) return std::nullopt;
    Toc toc;
    std::copy(f, f + kTocSize, toc.begin());
    x.toc = toc;
  }
  if (x.flags & kXingQuality) {
    const uint8_t* f = field(kXingFieldSize);
    if (!f) return std::nullopt;
    x.quality = BigEndian(f, 4);
  }
  return x;
}

std::string TrimEncoder(const uint8_t* p) {
  std::string s(reinterpret_cast<const char*>(p), kEncoderSize);
  while (!s.empty() && (s.back() == '\0' || s.back() == ' ')) s.pop_back();
  return s;
}

bool PlausibleEncoder(const uint8_t* p) {
  // Encoders put a short printable name first ("LAME3.100", "Lavc58.54", "GOGO..."); a
  // zero-filled or random area is no LAME tag.
  for (int i = 0; i < 4; ++i)
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  return true;
}

int XingFieldsSize(const InfoFrameRequest& wanted) {
  return kXingMagicSize + kXingFlagsSize + kXingFieldSize * 2 + (wanted.toc ? kTocSize : 0) +
         (wanted.quality ? kXingFieldSize : 0);
}

void WriteLameTag(uint8_t* frame, size_t at, const LameFields& lame, uint32_t musicLength) {
  uint8_t* p = frame + at;
  std::memset(p, 0, kLameTagSize);
  const size_t n = std::min<size_t>(lame.encoder.size(), kEncoderSize);
  std::memcpy(p, lame.encoder.data(), n);
  for (size_t i = n; i < size_t(kEncoderSize); ++i) p[i] = ' ';
  p[kLameRevisionAt] = uint8_t(lame.vbrMethod & 0x0F);
  const uint32_t delay = uint32_t(std::clamp(lame.encoderDelay, 0, kMaxEncoderDelay));
  const uint32_t padding = uint32_t(std::clamp(lame.encoderPadding, 0, kMaxEncoderDelay));
  PutBigEndian(p + kLameDelayAt, delay << 12 | padding, 3);
  PutBigEndian(p + kLameMusicLengthAt, musicLength, 4);
  PutBigEndian(p + kLameMusicCrcAt, lame.musicCrc, 2);
  const uint16_t crc = LameCrc16Update(0, ByteView(frame, at + kLameTagCrcAt));
  PutBigEndian(p + kLameTagCrcAt, crc, 2);
}

}  // namespace

size_t XingInfo::EndInFrame() const {
  size_t end = offsetInFrame + kXingMagicSize + kXingFlagsSize;
  if (frames) end += kXingFieldSize;
  if (bytes) end += kXingFieldSize;
  if (toc) end += kTocSize;
  if (quality) end += kXingFieldSize;
  return end;
}

std::optional<XingInfo> ParseXing(const FrameHeader& header, ByteView frame) {
  const size_t frameLength = size_t(header.FrameLength());
  if (frameLength != 0 && frame.size > frameLength) frame = frame.Sub(0, frameLength);
  const size_t atData = size_t(header.DataOffset());
  if (std::optional<XingInfo> x = ParseXingAt(frame, atData)) return x;
  // Some writers ignore the CRC field when placing the tag.
  if (header.hasCrc) return ParseXingAt(frame, atData - kCrcFieldSize);
  return std::nullopt;
}

std::optional<LameTag> ParseLameTag(const XingInfo& xing, ByteView frame) {
  const size_t at = xing.EndInFrame();
  if (frame.size < at + kLameTagSize) return std::nullopt;
  const uint8_t* p = frame.data + at;
  if (!PlausibleEncoder(p)) return std::nullopt;
  LameTag t;
  t.offsetInFrame = at;
  t.encoder = TrimEncoder(p);
  t.tagRevision = uint8_t(p[kLameRevisionAt] >> 4);
  t.vbrMethod = uint8_t(p[kLameRevisionAt] & 0x0F);
  t.lowpass = p[kLameLowpassAt];
  t.peakSignal = BigEndian(p + kLamePeakAt, 4);
  t.trackGain = uint16_t(BigEndian(p + kLameTrackGainAt, 2));
  t.albumGain = uint16_t(BigEndian(p + kLameAlbumGainAt, 2));
  t.encodingFlags = p[kLameFlagsAt];
  t.abrBitrate = p[kLameAbrAt];
  const uint32_t delays = BigEndian(p + kLameDelayAt, 3);
  t.encoderDelay = int(delays >> 12);
  t.encoderPadding = int(delays & 0xFFF);
  t.misc = p[kLameMiscAt];
  t.mp3Gain = p[kLameMp3GainAt];
  t.presetSurround = uint16_t(BigEndian(p + kLamePresetAt, 2));
  t.musicLength = BigEndian(p + kLameMusicLengthAt, 4);
  t.musicCrc = uint16_t(BigEndian(p + kLameMusicCrcAt, 2));
  t.tagCrc = uint16_t(BigEndian(p + kLameTagCrcAt, 2));
  t.tagCrcValid = LameCrc16Update(0, frame.Sub(0, at + kLameTagCrcAt)) == t.tagCrc;
  return t;
}

std::optional<VbriInfo> ParseVbri(ByteView frame) {
  if (frame.size < size_t(kVbriOffset + kVbriFixedSize)) return std::nullopt;
  const uint8_t* p = frame.data + kVbriOffset;
  if (std::memcmp(p, "VBRI", 4) != 0) return std::nullopt;
  VbriInfo v;
  v.version = uint16_t(BigEndian(p + 4, 2));
  v.delay = uint16_t(BigEndian(p + 6, 2));
  v.quality = uint16_t(BigEndian(p + 8, 2));
  v.bytes = BigEndian(p + 10, 4);
  v.frames = BigEndian(p + 14, 4);
  v.tocEntries = uint16_t(BigEndian(p + 18, 2));
  v.tocScale = uint16_t(BigEndian(p + 20, 2));
  v.tocEntrySize = uint16_t(BigEndian(p + 22, 2));
  v.framesPerEntry = uint16_t(BigEndian(p + 24, 2));
  if (v.tocEntrySize < 1 || v.tocEntrySize > 4) return std::nullopt;
  const size_t tocBytes = size_t(v.tocEntries) * v.tocEntrySize;
  if (frame.size < size_t(kVbriOffset + kVbriFixedSize) + tocBytes) return std::nullopt;
  v.toc.reserve(v.tocEntries);
  const uint8_t* e = p + kVbriFixedSize;
  for (size_t i = 0; i < v.tocEntries; ++i, e += v.tocEntrySize) v.toc.push_back(BigEndian(e, v.tocEntrySize));
  return v;
}

std::optional<InfoFrame> ParseInfoFrame(const FrameHeader& header, ByteView frame) {
  const size_t frameLength = size_t(header.FrameLength());
  if (frameLength != 0 && frame.size > frameLength) frame = frame.Sub(0, frameLength);
  InfoFrame info;
  info.header = header;
  info.xing = ParseXing(header, frame);
  if (info.xing) info.lame = ParseLameTag(*info.xing, frame);
  if (!info.xing) info.vbri = ParseVbri(frame);
  if (!info.xing && !info.vbri) return std::nullopt;
  return info;
}

std::vector<uint8_t> BuildInfoFrame(const InfoFrameRequest& wanted) {
  const FrameHeader& like = wanted.like;
  if (like.layer != Layer::III || like.sampleRate == 0) return {};
  FrameHeader sideInfoOf = like;
  sideInfoOf.hasCrc = false;
  const int xingAt = sideInfoOf.DataOffset();
  const int lameAt = xingAt + XingFieldsSize(wanted);
  const int needed = lameAt + (wanted.lame ? kLameTagSize : 0);
  const std::optional<int> bitrate = SmallestBitrateFor(like.version, like.layer, like.sampleRate, needed);
  if (!bitrate) return {};
  std::optional<FrameHeader> h = MakeFrameHeader(like.version, like.layer, *bitrate, like.sampleRate, like.channelMode);
  if (!h) return {};
  uint32_t raw = h->raw | uint32_t(like.copyright) << 3 | uint32_t(like.original) << 2 | uint32_t(like.emphasis & 1);
  const size_t length = size_t(h->FrameLength());
  std::vector<uint8_t> frame(length, 0);
  PutBigEndian(frame.data(), raw, 4);

  uint8_t* x = frame.data() + xingAt;
  std::memcpy(x, wanted.asInfo ? "Info" : "Xing", 4);
  const uint32_t flags = kXingFrames | kXingBytes | (wanted.toc ? kXingToc : 0u) | (wanted.quality ? kXingQuality : 0u);
  PutBigEndian(x + 4, flags, 4);
  // As LAME counts them: the byte total includes the information frame itself.
  const uint32_t totalBytes = wanted.bytes + uint32_t(length);
  size_t pos = size_t(xingAt) + 8;
  PutBigEndian(frame.data() + pos, wanted.frames, 4);
  pos += 4;
  PutBigEndian(frame.data() + pos, totalBytes, 4);
  pos += 4;
  if (wanted.toc) {
    std::copy(wanted.toc->begin(), wanted.toc->end(), frame.begin() + long(pos));
    pos += kTocSize;
  }
  if (wanted.quality) {
    PutBigEndian(frame.data() + pos, *wanted.quality, 4);
    pos += 4;
  }
  if (wanted.lame) {
    const uint32_t musicLength = wanted.lame->musicLength != 0 ? wanted.lame->musicLength : totalBytes;
    WriteLameTag(frame.data(), pos, *wanted.lame, musicLength);
  }
  return frame;
}

}  // namespace mp3
