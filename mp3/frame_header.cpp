#include "mp3/frame_header.h"

namespace mp3 {
namespace {

constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 Layer I
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 Layer II
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 Layer III
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2/2.5 Layer I
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2/2.5 Layer II, III
};

constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000},  // MPEG-1
    {22050, 24000, 16000},  // MPEG-2
    {11025, 12000, 8000},   // MPEG-2.5
};

constexpr int kReservedEmphasis = 2;

int BitrateRow(Version version, Layer layer) {
  if (version == Version::Mpeg1) return static_cast<int>(layer) - 1;
  return layer == Layer::I ? 3 : 4;
}

// MPEG-1 Layer II allows only some bitrate/mode pairs: low rates need mono, high rates
// need two channels.
bool Layer2ModeAllowed(Version version, int bitrateKbps, ChannelMode mode) {
  if (version != Version::Mpeg1) return true;
  bool mono = mode == ChannelMode::Mono;
  switch (bitrateKbps) {
    case 32:
    case 48:
    case 56:
    case 80: return mono;
    case 224:
    case 256:
    case 320:
    case 384: return !mono;
    default: return true;
  }
}

}  // namespace

int ComputeFrameLength(Version version, Layer layer, int bitrateKbps, int sampleRate, bool padding) {
  if (sampleRate <= 0 || bitrateKbps <= 0) return 0;
  const int pad = padding ? 1 : 0;
  const long bits = long(bitrateKbps) * 1000;
  switch (layer) {
    case Layer::I: return int((12 * bits / sampleRate + pad) * 4);
    case Layer::II: return int(144 * bits / sampleRate + pad);
    case Layer::III: return int((version == Version::Mpeg1 ? 144 : 72) * bits / sampleRate + pad);
  }
  return 0;
}

int FrameHeader::SamplesPerFrame() const {
  if (layer == Layer::I) return 384;
  if (layer == Layer::II || version == Version::Mpeg1) return 1152;
  return 576;
}

int FrameHeader::FrameLength() const {
  if (FreeFormat()) {
    if (freeFormatLength == 0) return 0;
    return freeFormatLength + (padding ? (layer == Layer::I ? 4 : 1) : 0);
  }
  return ComputeFrameLength(version, layer, bitrateKbps, sampleRate, padding);
}

void FrameHeader::SetFreeFormatLength(int unpaddedLength) {
  freeFormatLength = unpaddedLength;
  // The inverse of ComputeFrameLength: bytes per frame times frames per second.
  const int64_t bitsPerSecond = int64_t(unpaddedLength) * 8 * sampleRate / SamplesPerFrame();
  bitrateKbps = int((bitsPerSecond + 500) / 1000);
}

int FrameHeader::SideInfoSize() const {
  if (layer != Layer::III) return 0;
  const bool mono = channelMode == ChannelMode::Mono;
  if (version == Version::Mpeg1) return mono ? 17 : 32;
  return mono ? 9 : 17;
}

std::optional<FrameHeader> ParseFrameHeader(uint32_t raw) {
  if ((raw & 0xFFE00000u) != 0xFFE00000u) return std::nullopt;
  const uint32_t versionBits = (raw >> 19) & 3;
  const uint32_t layerBits = (raw >> 17) & 3;
  const uint32_t bitrateBits = (raw >> 12) & 15;
  const uint32_t rateBits = (raw >> 10) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateBits == 15 || rateBits == 3) return std::nullopt;
  FrameHeader h;
  h.raw = raw;
  h.version = versionBits == 3 ? Version::Mpeg1 : versionBits == 2 ? Version::Mpeg2 : Version::Mpeg25;
  h.layer = static_cast<Layer>(4 - layerBits);
  h.hasCrc = ((raw >> 16) & 1) == 0;
  h.bitrateIndex = int(bitrateBits);
  h.bitrateKbps = bitrateBits == 0 ? 0 : kBitrates[BitrateRow(h.version, h.layer)][bitrateBits - 1];
  h.sampleRateIndex = int(rateBits);
  h.sampleRate = kSampleRates[static_cast<int>(h.version)][rateBits];
  h.padding = ((raw >> 9) & 1) != 0;
  h.privateBit = ((raw >> 8) & 1) != 0;
  h.channelMode = static_cast<ChannelMode>((raw >> 6) & 3);
  h.modeExtension = int((raw >> 4) & 3);
  h.copyright = ((raw >> 3) & 1) != 0;
  h.original = ((raw >> 2) & 1) != 0;
  h.emphasis = int(raw & 3);
  if (h.emphasis == kReservedEmphasis) return std::nullopt;
  // MPEG-2.5 is an extension of Layer III only.
  if (h.version == Version::Mpeg25 && h.layer != Layer::III) return std::nullopt;
  if (h.layer == Layer::II && !h.FreeFormat() && !Layer2ModeAllowed(h.version, h.bitrateKbps, h.channelMode))
    return std::nullopt;
  return h;
}

std::optional<FrameHeader> ParseFrameHeader(ByteView bytes) {
  if (bytes.size < size_t(kHeaderSize)) return std::nullopt;
  return ParseFrameHeader(uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
}

const int* BitrateTable(Version version, Layer layer) { return kBitrates[BitrateRow(version, layer)]; }

const int* SampleRateTable(Version version) { return kSampleRates[static_cast<int>(version)]; }

std::optional<FrameHeader> MakeFrameHeader(Version version, Layer layer, int bitrateKbps, int sampleRate,
                                           ChannelMode mode, bool padding, bool withCrc) {
  if (static_cast<int>(version) > 2 || static_cast<int>(layer) < 1 || static_cast<int>(layer) > 3) return std::nullopt;
  const int* table = BitrateTable(version, layer);
  int bitrateIndex = 0;
  for (int i = 0; i < 14; ++i)
    if (table[i] == bitrateKbps) bitrateIndex = i + 1;
  int rateIndex = -1;
  for (int i = 0; i < 3; ++i)
    if (kSampleRates[static_cast<int>(version)][i] == sampleRate) rateIndex = i;
  if (bitrateIndex == 0 || rateIndex < 0) return std::nullopt;
  const uint32_t versionBits = version == Version::Mpeg1 ? 3 : version == Version::Mpeg2 ? 2 : 0;
  const uint32_t layerBits = 4 - static_cast<uint32_t>(layer);
  uint32_t raw = 0xFFE00000u | versionBits << 19 | layerBits << 17 | (withCrc ? 0u : 1u) << 16 |
                 uint32_t(bitrateIndex) << 12 | uint32_t(rateIndex) << 10 | (padding ? 1u : 0u) << 9 |
                 (static_cast<uint32_t>(mode) & 3) << 6;
  return ParseFrameHeader(raw);
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  // A stream is free format or not throughout, and its free-format frames all have its one
  // length (padding aside).
  const bool sameFormat = a.FreeFormat() == b.FreeFormat() && a.freeFormatLength == b.freeFormatLength;
  return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate && sameFormat;
}

std::optional<int> SmallestBitrateFor(Version version, Layer layer, int sampleRate, int minFrameLength) {
  const int* table = BitrateTable(version, layer);
  for (int i = 0; i < 14; ++i)
    if (ComputeFrameLength(version, layer, table[i], sampleRate, false) >= minFrameLength) return table[i];
  return std::nullopt;
}

const char* VersionName(Version version) {
  switch (version) {
    case Version::Mpeg1: return "MPEG-1";
    case Version::Mpeg2: return "MPEG-2";
    case Version::Mpeg25: return "MPEG-2.5";
  }
  return "?";
}

}  // namespace mp3
