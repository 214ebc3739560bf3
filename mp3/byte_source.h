// Byte views and random-access byte sources: how the library reads MP3 data without ever
// holding a whole file in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace mp3 {

// A read-only view of contiguous bytes (C++17 has no std::span).
struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;

  constexpr ByteView() = default;
  constexpr ByteView(const uint8_t* d, size_t n) : data(d), size(n) {}
  ByteView(const std::vector<uint8_t>& v) : data(v.data()), size(v.size()) {}  // NOLINT: implicit on purpose

  bool empty() const { return size == 0; }
  const uint8_t* begin() const { return data; }
  const uint8_t* end() const { return data + size; }
  uint8_t operator[](size_t i) const { return data[i]; }
  // Bytes [offset, offset + count), clipped to the view (never out of range).
  ByteView Sub(size_t offset, size_t count = SIZE_MAX) const;
};

// Random-access reading. Offsets are 64-bit everywhere (files beyond 4 GiB are fine).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total size in bytes.
  virtual uint64_t Size() const = 0;
  // Copies up to `count` bytes starting at `offset` into `buffer` and returns how many were
  // copied: fewer than asked only at the end of the data or on a read error (then a later
  // check against Size() tells the two apart). Reading at or past Size() returns 0.
  virtual size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) = 0;
};

// Reads from a stdio stream the caller opened (and closes) itself: the Windows tools open
// files with _wfopen and pass the FILE*. The size is taken once at construction; the
// stream position is moved by every read.
class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file);
  // False when the stream was null or its size could not be determined.
  bool IsOpen() const { return file_ != nullptr && sizeKnown_; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override;

 private:
  std::FILE* file_;
  uint64_t size_ = 0;
  bool sizeKnown_ = false;
};

// Reads from memory the caller keeps alive.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(ByteView bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size; }
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override;

 private:
  ByteView bytes_;
};

// Reads exactly `count` bytes at `offset`; false when fewer are available.
bool ReadExact(ByteSource& source, uint64_t offset, uint8_t* buffer, size_t count);

}  // namespace mp3
