#include "tools/common/chunk_reader.h"

namespace toolcommon {

ChunkReader::ChunkReader(mp3::ByteSource& source, size_t window) : source_(source), buffer_(window) {}

const uint8_t* ChunkReader::Get(uint64_t offset, size_t size) {
  if (size > buffer_.size()) return nullptr;
  if (offset >= bufferOffset_ && offset + size <= bufferOffset_ + fill_) {
    return buffer_.data() + (offset - bufferOffset_);
  }
  bufferOffset_ = offset;
  fill_ = source_.ReadAt(offset, buffer_.data(), buffer_.size());
  if (fill_ < size) return nullptr;
  return buffer_.data();
}

}  // namespace toolcommon
