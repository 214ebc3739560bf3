// Sequential-mostly reading of a ByteSource through one bounded buffer: the tools copy
// frames and tags in file order, so a window of a few hundred kilobytes serves every read.
#pragma once
#include <cstdint>
#include <memory>

#include "mp3/byte_source.h"

namespace toolcommon {

class ChunkReader {
 public:
  static constexpr size_t kDefaultWindow = 256 * 1024;
  explicit ChunkReader(mp3::ByteSource& source, size_t window = kDefaultWindow);
  // The bytes [offset, offset + size); size must not exceed the window. Null when the
  // source cannot deliver them all.
  const uint8_t* Get(uint64_t offset, size_t size);
  size_t Window() const { return window_; }

 private:
  mp3::ByteSource& source_;
  size_t window_;
  std::unique_ptr<uint8_t[]> buffer_;  // made at the first read, and not cleared: only bytes read are looked at
  uint64_t bufferOffset_ = 0;
  size_t fill_ = 0;
};

}  // namespace toolcommon
