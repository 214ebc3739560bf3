// Lets the MP3 library read the connected file source through IAsyncReader::SyncRead.
#pragma once
#include <windows.h>
#include <dshow.h>

#include "mp3/byte_source.h"

namespace clipvane_parser {

class AsyncByteSource final : public mp3::ByteSource {
 public:
  // Borrows `reader` (the caller keeps its reference while this object lives).
  explicit AsyncByteSource(IAsyncReader *reader);
  // False when the source could not tell its length.
  bool Valid() const { return valid_; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t *buffer, size_t count) override;

 private:
  IAsyncReader *reader_;
  uint64_t size_ = 0;
  bool valid_ = false;
};

}  // namespace clipvane_parser
