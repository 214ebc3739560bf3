// A window [begin, begin + size) of another ByteSource, seen as a source of its own: lets
// the library's tag readers look at a stretch in the middle of a file.
#pragma once
#include "mp3/byte_source.h"

namespace toolcommon {

class RangeSource : public mp3::ByteSource {
 public:
  RangeSource(mp3::ByteSource& inner, uint64_t begin, uint64_t size) : inner_(inner), begin_(begin), size_(size) {}
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    if (offset >= size_) return 0;
    if (count > size_ - offset) count = static_cast<size_t>(size_ - offset);
    return inner_.ReadAt(begin_ + offset, buffer, count);
  }

 private:
  mp3::ByteSource& inner_;
  uint64_t begin_;
  uint64_t size_;
};

}  // namespace toolcommon
