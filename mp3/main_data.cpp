#include "mp3/main_data.h"

#include <algorithm>

#include "mp3/crc.h"
#include "mp3/side_info.h"

namespace mp3 {

namespace {

constexpr uint32_t kBitrateIndexShift = 12;
constexpr uint32_t kBitrateIndexMask = 0xFu << kBitrateIndexShift;
constexpr uint32_t kPaddingBit = 1u << 9;
constexpr int kBitrateIndexes = 14;

// The fields of the side information in front of the granule blocks, and the blocks' size:
// part2_3_length is the first 12 bits of each block.
struct SideInfoLayout {
  int firstBlockBit = 0;
  int blockBits = 0;
  int granules = 0;
};

SideInfoLayout LayoutOf(const FrameHeader& header) {
  const int channels = header.Channels();
  if (header.version == Version::Mpeg1) {
    // main_data_begin 9, private bits 5 (mono) or 3, scfsi 4 per channel; blocks of 59 bits.
    return {9 + (channels == 1 ? 5 : 3) + 4 * channels, 59, 2};
  }
  // main_data_begin 8, private bits 1 (mono) or 2; one granule, blocks of 63 bits.
  return {8 + (channels == 1 ? 1 : 2), 63, 1};
}

int ReadBits(const uint8_t* bytes, int firstBit, int count) {
  int value = 0;
  for (int bit = firstBit; bit < firstBit + count; ++bit) value = value << 1 | (bytes[bit / 8] >> (7 - bit % 8) & 1);
  return value;
}

size_t SideInfoOffset(const FrameHeader& header) { return size_t(kHeaderSize + (header.hasCrc ? kCrcFieldSize : 0)); }

// The side information with another main_data_begin; the private bits beside it stay.
std::vector<uint8_t> WithMainDataBegin(Version version, ByteView sideInfo, int value) {
  std::vector<uint8_t> side(sideInfo.begin(), sideInfo.end());
  if (version == Version::Mpeg1) {
    side[0] = uint8_t(value >> 1);
    side[1] = uint8_t((side[1] & 0x7F) | (value & 1) << 7);
  } else {
    side[0] = uint8_t(value);
  }
  return side;
}

// `like` with the smallest bitrate index (no padding) whose main-data area holds `bytes`.
std::optional<FrameHeader> HeaderHolding(const FrameHeader& like, int bytes) {
  for (uint32_t index = 1; index <= kBitrateIndexes; ++index) {
    const uint32_t raw = (like.raw & ~kBitrateIndexMask & ~kPaddingBit) | index << kBitrateIndexShift;
    std::optional<FrameHeader> header = ParseFrameHeader(raw);
    if (header && MainDataCapacity(*header, uint64_t(header->FrameLength())) >= bytes) return header;
  }
  return std::nullopt;
}

// A frame of `header` whose side information is `sideInfo` and whose main-data area ends with
// `tail` (zeros before it), preceded by `head` at its start; the CRC field filled in.
std::vector<uint8_t> BuildFrame(const FrameHeader& header, ByteView sideInfo, ByteView head, ByteView tail) {
  std::vector<uint8_t> frame(size_t(header.FrameLength()), 0);
  for (int i = 0; i < kHeaderSize; ++i) frame[size_t(i)] = uint8_t(header.raw >> (24 - 8 * i));
  const size_t sideAt = SideInfoOffset(header);
  std::copy(sideInfo.data, sideInfo.data + sideInfo.size, frame.begin() + std::ptrdiff_t(sideAt));
  const size_t areaAt = size_t(header.DataOffset());
  std::copy(head.data, head.data + head.size, frame.begin() + std::ptrdiff_t(areaAt));
  std::copy(tail.data, tail.data + tail.size, frame.end() - std::ptrdiff_t(tail.size));
  if (std::optional<uint16_t> crc = ComputeFrameCrc(header, ByteView(frame))) {
    frame[kHeaderSize] = uint8_t(*crc >> 8);
    frame[kHeaderSize + 1] = uint8_t(*crc);
  }
  return frame;
}

}  // namespace

int MaxMainDataBegin(Version version) { return version == Version::Mpeg1 ? 511 : 255; }

std::optional<int> MainDataBits(const FrameHeader& header, ByteView frame) {
  if (header.layer != Layer::III) return std::nullopt;
  const size_t at = SideInfoOffset(header);
  if (frame.size < at + size_t(header.SideInfoSize())) return std::nullopt;
  const SideInfoLayout layout = LayoutOf(header);
  int bits = 0;
  for (int block = 0; block < layout.granules * header.Channels(); ++block)
    bits += ReadBits(frame.data + at, layout.firstBlockBit + block * layout.blockBits, 12);
  return bits;
}

std::optional<SelfContainedStart> MakeSelfContainedStart(const FrameHeader& header, ByteView frame, ByteView reservoir,
                                                         std::optional<int> nextMainDataBegin) {
  const std::optional<int> begin = MainDataBegin(header, frame);
  const std::optional<int> bits = MainDataBits(header, frame);
  const int capacity = MainDataCapacity(header, frame.size);
  if (!begin || !bits || header.FreeFormat() || size_t(*begin) > reservoir.size || capacity <= 0) return std::nullopt;
  // The stream's main data from the first byte this frame needs to the end of its own area.
  std::vector<uint8_t> stream(reservoir.data + reservoir.size - *begin, reservoir.data + reservoir.size);
  stream.insert(stream.end(), frame.data + header.DataOffset(), frame.data + frame.size);
  SelfContainedStart start;
  if (*begin == 0) {
    start.frames.emplace_back(frame.data, frame.data + frame.size);
    return start;
  }
  const int own = (*bits + 7) / 8;
  const int kept = nextMainDataBegin.value_or(0);
  // The next frame's main data cannot start before this one's ends, nor before the bytes there.
  if (own + kept > int(stream.size())) return std::nullopt;
  const ByteView sideInfo(frame.data + SideInfoOffset(header), size_t(header.SideInfoSize()));
  const ByteView ownData(stream.data(), size_t(own));
  const ByteView nextReservoir(stream.data() + stream.size() - kept, size_t(kept));
  if (std::optional<FrameHeader> larger = HeaderHolding(header, own + kept)) {
    start.frames.push_back(BuildFrame(*larger, WithMainDataBegin(header.version, sideInfo, 0), ownData, nextReservoir));
    return start;
  }
  // No frame holds it all: the reservoir goes into a frame of its own, whose zeroed side
  // information states empty granules and main_data_begin 0.
  std::optional<FrameHeader> lead = HeaderHolding(header, *begin);
  if (!lead) return std::nullopt;
  const std::vector<uint8_t> zeros(size_t(header.SideInfoSize()), 0);
  start.frames.push_back(BuildFrame(*lead, ByteView(zeros), ByteView(), ByteView(stream.data(), size_t(*begin))));
  start.frames.emplace_back(frame.data, frame.data + frame.size);
  start.emptyLeadFrames = 1;
  return start;
}

}  // namespace mp3
