#include "mp3/side_info.h"

namespace mp3 {

namespace {

// Where the side information starts; nullopt when its first two bytes are not there.
std::optional<size_t> SideInfoAt(const FrameHeader& header, ByteView frame) {
  if (header.layer != Layer::III) return std::nullopt;
  const size_t at = size_t(kHeaderSize + (header.hasCrc ? kCrcFieldSize : 0));
  if (frame.size < at + 2) return std::nullopt;
  return at;
}

}  // namespace

std::optional<int> MainDataBegin(const FrameHeader& header, ByteView frame) {
  const std::optional<size_t> at = SideInfoAt(header, frame);
  if (!at) return std::nullopt;
  if (header.version == Version::Mpeg1) return int(frame[*at]) << 1 | frame[*at + 1] >> 7;
  return int(frame[*at]);
}

std::optional<int> LengthLeftAfterZeroing(const FrameHeader& header, ByteView frame) {
  const std::optional<size_t> at = SideInfoAt(header, frame);
  if (!at) return std::nullopt;
  if (header.version == Version::Mpeg1) return 0;
  // One private bit for mono, two otherwise; then the 12-bit length, whose low bits are zeroed.
  const int privateBits = header.channelMode == ChannelMode::Mono ? 1 : 2;
  const int kept = 8 - privateBits;
  return (frame[*at + 1] & ((1 << kept) - 1)) << (12 - kept);
}

int MainDataCapacity(const FrameHeader& header, uint64_t frameSize) {
  if (header.layer != Layer::III || frameSize <= uint64_t(header.DataOffset())) return 0;
  return int(frameSize - uint64_t(header.DataOffset()));
}

}  // namespace mp3
