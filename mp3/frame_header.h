// MPEG audio frame headers (MPEG-1, MPEG-2 and MPEG-2.5; Layers I, II and III).
#pragma once

#include <cstdint>
#include <optional>

#include "mp3/byte_source.h"

namespace mp3 {

enum class Version : uint8_t { Mpeg1, Mpeg2, Mpeg25 };
enum class Layer : uint8_t { I = 1, II = 2, III = 3 };
enum class ChannelMode : uint8_t { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

// Size of the frame header and of its optional CRC field.
constexpr int kHeaderSize = 4;
constexpr int kCrcFieldSize = 2;
// Largest frame any valid header can announce (Layer II, 384 kb/s, 32 kHz, padded: 1729),
// rounded up; useful for buffer sizing.
constexpr int kMaxFrameLength = 2048;
// Largest free-format frame taken for one: 640 kb/s (the highest rate decoders accept in
// free format) at 32 kHz is 2880 bytes; a little room beyond that.
constexpr int kMaxFreeFormatFrameLength = 3072;

// One decoded 4-byte frame header. Only headers that ParseFrameHeader accepts exist:
// bitrate index 15, reserved version, reserved layer,
// reserved sample rate and reserved emphasis are refused, as are MPEG-2.5 with Layer I or
// II (the extension exists for Layer III only) and MPEG-1 Layer II with a bitrate and
// channel mode combination the format forbids.
struct FrameHeader {
  uint32_t raw = 0;  // the four header bytes, big-endian
  Version version = Version::Mpeg1;
  Layer layer = Layer::III;
  bool hasCrc = false;  // protection bit clear: a 16-bit CRC follows the header
  int bitrateKbps = 0;
  int sampleRate = 0;  // Hz
  bool padding = false;
  bool privateBit = false;
  ChannelMode channelMode = ChannelMode::Stereo;
  int modeExtension = 0;
  bool copyright = false;
  bool original = false;
  int emphasis = 0;
  int bitrateIndex = 0;     // 1..14, or 0 for free format
  int sampleRateIndex = 0;  // 0..2
  // Free format: the header states no bitrate; every frame of the stream has this length
  // (padding aside), which only the distance to the next frame tells. 0 while unknown.
  int freeFormatLength = 0;

  bool FreeFormat() const { return bitrateIndex == 0; }
  // Takes the unpadded frame length of a free-format stream; bitrateKbps follows from it.
  void SetFreeFormatLength(int unpaddedLength);

  int Channels() const { return channelMode == ChannelMode::Mono ? 1 : 2; }
  // PCM samples per channel that one frame decodes to: 384, 1152 or 576.
  int SamplesPerFrame() const;
  // Whole frame length in bytes, header, CRC and padding included (0 for free format
  // while its length is unknown).
  int FrameLength() const;
  // Layer III side information size (17/32 bytes for MPEG-1 mono/stereo, 9/17 for
  // MPEG-2/2.5); 0 for Layers I and II.
  int SideInfoSize() const;
  // Offset of the first byte after header, CRC field and (Layer III) side information.
  int DataOffset() const { return kHeaderSize + (hasCrc ? kCrcFieldSize : 0) + SideInfoSize(); }
};

// Decodes a big-endian header word; nullopt for anything that is not a valid header. A
// free-format header is valid; its length is set by whoever finds the next frame.
std::optional<FrameHeader> ParseFrameHeader(uint32_t raw);
// Decodes the first four bytes of `bytes`; nullopt when fewer than four or invalid.
std::optional<FrameHeader> ParseFrameHeader(ByteView bytes);

// Builds a valid header. Returns nullopt when the values cannot form a valid header
// (bitrate not in the table of that version/layer, sample rate not of that version, ...).
std::optional<FrameHeader> MakeFrameHeader(Version version, Layer layer, int bitrateKbps, int sampleRate,
                                           ChannelMode mode, bool padding = false, bool withCrc = false);

// Two headers belong to the same stream when version, layer and sample rate agree and both
// are free format of one length or neither is: the test used to confirm a sync candidate
// (bitrate, padding and mode may change per frame).
bool SameStream(const FrameHeader& a, const FrameHeader& b);

// Bitrates in kb/s of a version/layer, ascending, for indexes 1..14 (14 entries).
const int* BitrateTable(Version version, Layer layer);
// Sample rates in Hz of a version for indexes 0..2 (3 entries).
const int* SampleRateTable(Version version);
// Smallest table bitrate of this version/layer whose frame at `sampleRate` holds at least
// `minFrameLength` bytes (unpadded); nullopt when even the largest is too small.
std::optional<int> SmallestBitrateFor(Version version, Layer layer, int sampleRate, int minFrameLength);

const char* VersionName(Version version);  // "MPEG-1", "MPEG-2", "MPEG-2.5"

// Frame length for the given parameters (no validation beyond non-zero rate).
int ComputeFrameLength(Version version, Layer layer, int bitrateKbps, int sampleRate, bool padding);

}  // namespace mp3
