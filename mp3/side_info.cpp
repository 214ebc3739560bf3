#include "mp3/side_info.h"

namespace mp3 {

std::optional<int> MainDataBegin(const FrameHeader& header, ByteView frame) {
  if (header.layer != Layer::III) return std::nullopt;
  const size_t at = size_t(kHeaderSize + (header.hasCrc ? kCrcFieldSize : 0));
  if (frame.size < at + 2) return std::nullopt;
  if (header.version == Version::Mpeg1) return int(frame[at]) << 1 | frame[at + 1] >> 7;
  return int(frame[at]);
}

int MainDataCapacity(const FrameHeader& header, uint64_t frameSize) {
  if (header.layer != Layer::III || frameSize <= uint64_t(header.DataOffset())) return 0;
  return int(frameSize - uint64_t(header.DataOffset()));
}

}  // namespace mp3
