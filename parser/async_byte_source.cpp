#include "async_byte_source.h"

#include <algorithm>

namespace clipvane_parser {
namespace {

// SyncRead takes a LONG length; larger requests are split.
constexpr size_t kLargestRead = 1u << 30;

}  // namespace

AsyncByteSource::AsyncByteSource(IAsyncReader *reader) : reader_(reader) {
  LONGLONG total = 0;
  LONGLONG available = 0;
  if (reader_ && SUCCEEDED(reader_->Length(&total, &available)) && total >= 0) {
    // A source still downloading reports less available than total; only what is there
    // can be read.
    size_ = static_cast<uint64_t>(std::min(total, available > 0 ? available : total));
    valid_ = true;
  }
}

size_t AsyncByteSource::ReadAt(uint64_t offset, uint8_t *buffer, size_t count) {
  if (!valid_ || offset >= size_) return 0;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
  size_t done = 0;
  while (done < wanted) {
    const size_t chunk = std::min(wanted - done, kLargestRead);
    const HRESULT hr = reader_->SyncRead(static_cast<LONGLONG>(offset + done), static_cast<LONG>(chunk), buffer + done);
    // S_FALSE means a short read, which only happens past the end the size promised.
    if (hr != S_OK) break;
    done += chunk;
  }
  return done;
}

}  // namespace clipvane_parser
