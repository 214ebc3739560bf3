#include "mp3/byte_source.h"

#include <algorithm>
#include <cstring>

namespace mp3 {
namespace {

// 64-bit positioning: the only platform difference the library knows about.
bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool SizeOf(std::FILE* file, uint64_t& size) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return false;
  __int64 end = _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  off_t end = ftello(file);
#endif
  if (end < 0) return false;
  size = static_cast<uint64_t>(end);
  return true;
}

}  // namespace

ByteView ByteView::Sub(size_t offset, size_t count) const {
  if (offset >= size) return ByteView(data + size, 0);
  return ByteView(data + offset, std::min(count, size - offset));
}

FileSource::FileSource(std::FILE* file) : file_(file) {
  if (file_ != nullptr) sizeKnown_ = SizeOf(file_, size_);
}

size_t FileSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t count) {
  if (!IsOpen() || offset >= size_ || count == 0) return 0;
  count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
  if (!SeekTo(file_, offset)) return 0;
  return std::fread(buffer, 1, count, file_);
}

size_t MemorySource::ReadAt(uint64_t offset, uint8_t* buffer, size_t count) {
  if (offset >= bytes_.size || count == 0) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size - offset));
  std::memcpy(buffer, bytes_.data + offset, n);
  return n;
}

bool ReadExact(ByteSource& source, uint64_t offset, uint8_t* buffer, size_t count) {
  return source.ReadAt(offset, buffer, count) == count;
}

}  // namespace mp3
