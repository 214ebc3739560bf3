#include "tools/common/chunk_reader.h"

#include <algorithm>

namespace toolcommon {

// No larger than the source: a short file needs no window of the full size.
ChunkReader::ChunkReader(mp3::ByteSource& source, size_t window)
    : source_(source), window_(size_t(std::max<uint64_t>(1, std::min<uint64_t>(window, source.Size())))) {}

const uint8_t* ChunkReader::Get(uint64_t offset, size_t size) {
  if (size > window_) return nullptr;
  if (!buffer_) buffer_.reset(new uint8_t[window_]);
  if (offset >= bufferOffset_ && offset + size <= bufferOffset_ + fill_) {
    return buffer_.get() + (offset - bufferOffset_);
  }
  bufferOffset_ = offset;
  fill_ = source_.ReadAt(offset, buffer_.get(), window_);
  if (fill_ < size) return nullptr;
  return buffer_.get();
}

}  // namespace toolcommon
