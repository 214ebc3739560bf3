#include "mp3/side_info.h"

namespace mp3 {

std::optional<int> MainDataBegin(const FrameHeader& header, ByteView frame) {
  if (header.layer != Layer::III) return std::nullopt;
  const size_t at = size_t(kHeaderSize + (header.hasCrc ? kCrcFieldSize : 0));
  if (frame.size < at + 2) return std::nullopt;
  if (header.version == Version::Mpeg1) return int(frame[at]) << 1 | frame[at + 1] >> 7;
  return int(frame[at]);
}

int MainDataCapacity(const FrameHeader& header) {
  if (header.layer != Layer::III) return 0;
  const int capacity = header.FrameLength() - header.DataOffset();
  return capacity > 0 ? capacity : 0;
}

}  // namespace mp3
