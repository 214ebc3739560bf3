// The information frame some encoders put first: Xing/Info (with an optional LAME tag) or
// VBRI. It is a silent MPEG frame and not part of the audio: frame counts and durations
// exclude it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/byte_source.h"
#include "mp3/frame_header.h"

namespace mp3 {

using Toc = std::array<uint8_t, 100>;

enum XingFlag : uint32_t {
  kXingFrames = 0x1,
  kXingBytes = 0x2,
  kXingToc = 0x4,
  kXingQuality = 0x8,
};

struct XingInfo {
  bool isInfo = false;             // "Info" (written for CBR) rather than "Xing"
  uint32_t flags = 0;              // XingFlag bits
  size_t offsetInFrame = 0;        // where the "Xing"/"Info" tag starts within the frame
  std::optional<uint32_t> frames;  // audio frames, the information frame excluded
  std::optional<uint32_t> bytes;   // stream bytes, as the writer counted them
  std::optional<Toc> toc;
  std::optional<uint32_t> quality;
  size_t EndInFrame() const;  // first byte after the Xing fields (where a LAME tag starts)
};

constexpr int kLameTagSize = 36;
// The LAME tag CRC covers the information frame from its first byte up to the CRC field:
// 190 bytes in the usual MPEG-1 stereo layout.
constexpr int kLameTagCrcCoverage = 190;
constexpr int kMaxEncoderDelay = 4095;  // 12-bit fields

struct LameTag {
  std::string encoder;      // 9 bytes, e.g. "LAME3.100", trailing NULs/spaces removed
  uint8_t tagRevision = 0;  // high nibble of byte 9
  uint8_t vbrMethod = 0;    // low nibble of byte 9
  uint8_t lowpass = 0;      // in units of 100 Hz
  uint32_t peakSignal = 0;  // raw 32-bit field
  uint16_t trackGain = 0;   // raw replay-gain fields
  uint16_t albumGain = 0;
  uint8_t encodingFlags = 0;  // flags nibble + ATH type nibble, raw byte
  uint8_t abrBitrate = 0;
  int encoderDelay = 0;    // samples the encoder added at the start (12 bits)
  int encoderPadding = 0;  // samples added at the end (12 bits)
  uint8_t misc = 0;
  uint8_t mp3Gain = 0;
  uint16_t presetSurround = 0;
  uint32_t musicLength = 0;  // bytes from the information frame to the end of the audio
  uint16_t musicCrc = 0;     // LameCrc16 of the audio frames after the information frame
  uint16_t tagCrc = 0;       // stored CRC of the first 190 bytes of the frame
  bool tagCrcValid = false;  // the stored tag CRC matches the frame
  size_t offsetInFrame = 0;
};

struct VbriInfo {
  uint16_t version = 0;
  uint16_t delay = 0;
  uint16_t quality = 0;
  uint32_t bytes = 0;
  uint32_t frames = 0;
  uint16_t tocEntries = 0;
  uint16_t tocScale = 0;
  uint16_t tocEntrySize = 0;  // 1..4 bytes
  uint16_t framesPerEntry = 0;
  std::vector<uint32_t> toc;  // scaled sizes, tocEntries values
};

// Everything found in an information frame.
struct InfoFrame {
  FrameHeader header;
  std::optional<XingInfo> xing;
  std::optional<LameTag> lame;  // only with xing
  std::optional<VbriInfo> vbri;
};

// Looks for a Xing/Info tag where writers put it (after the side information, and after
// the CRC field when there is one). `frame` starts at the header.
std::optional<XingInfo> ParseXing(const FrameHeader& header, ByteView frame);
// Parses the LAME tag that follows the Xing fields; checks its CRC.
std::optional<LameTag> ParseLameTag(const XingInfo& xing, ByteView frame);
// Looks for a VBRI tag (32 bytes after the header).
std::optional<VbriInfo> ParseVbri(ByteView frame);
// All of the above; nullopt when the frame is not an information frame.
std::optional<InfoFrame> ParseInfoFrame(const FrameHeader& header, ByteView frame);

// What to write into a new LAME tag.
struct LameFields {
  std::string encoder = "LAME3.100";  // cut/padded to 9 bytes
  int encoderDelay = 0;               // clamped to 0..4095
  int encoderPadding = 0;             // clamped to 0..4095
  uint32_t musicLength = 0;           // 0: filled with info frame size + InfoFrameRequest::bytes
  uint16_t musicCrc = 0;
  uint8_t vbrMethod = 0;  // 0 unknown, 1 CBR, 3..6 VBR methods
};

struct InfoFrameRequest {
  // Stream parameters come from any header of the stream: version, layer, sample rate
  // and channel mode are kept; bitrate is chosen as the smallest that fits.
  FrameHeader like;
  bool asInfo = false;     // write "Info" (CBR) instead of "Xing"
  uint32_t frames = 0;     // audio frames (the information frame excluded)
  uint32_t bytes = 0;      // bytes of the audio frames (the information frame excluded;
                           // the written field adds the frame's own size, as LAME does)
  std::optional<Toc> toc;  // byte-position table; written only when given
  std::optional<uint32_t> quality;
  std::optional<LameFields> lame;  // write a LAME tag with a correct tag CRC
};

// Builds a complete information frame: a valid silent Layer III frame (zero side
// information, no CRC field) of the stream's version, sample rate and channel mode with
// the smallest bitrate that fits all fields. Returns an empty vector when the request
// cannot be written (Layer I or II stream: the formats carry Xing only in Layer III).
std::vector<uint8_t> BuildInfoFrame(const InfoFrameRequest& wanted);

// A TOC for a stream of `frameCount` equal-duration frames whose byte offset (relative to
// the first byte that `totalBytes` counts) is given by `offsetOfFrame(i)`:
// toc[i] = 256 * offset of the frame at i% of the duration / totalBytes.
template <class OffsetOfFrame>
Toc BuildToc(uint64_t frameCount, uint64_t totalBytes, OffsetOfFrame offsetOfFrame) {
  Toc toc{};
  for (int i = 0; i < 100; ++i) {
    uint64_t frame = frameCount * uint64_t(i) / 100;
    uint64_t value = 0;
    if (frameCount > 0 && totalBytes > 0) value = uint64_t(offsetOfFrame(frame)) * 256 / totalBytes;
    toc[size_t(i)] = uint8_t(value > 255 ? 255 : value);
  }
  return toc;
}

}  // namespace mp3
