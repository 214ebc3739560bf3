// Frame synchronisation: walks an audio region and reports every frame and every range of
// bytes that is not a frame, streaming through a bounded buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mp3/byte_source.h"
#include "mp3/frame_header.h"

namespace mp3 {

struct ScanOptions {
  // A sync candidate (outside a run of chained frames) counts only when this many frames
  // follow it back to back with the same stream parameters; fewer suffice when the chain
  // reaches the end of the region exactly.
  int confirmFrames = 3;
  size_t bufferSize = 256 * 1024;
  // When not 0: the scanner's first read stops after this many bytes (or what the scan needs
  // at once, when that is more); later reads fill the buffer. A scan that looks at a few frames
  // only then reads no more than those.
  size_t firstReadSize = 0;
  // When not 0: the first frame must begin within this many bytes of the region's start, else
  // the region counts as holding no audio. A player that opens any file it is handed uses it
  // so that a large file of something else is not read to its end.
  uint64_t maxLeadingSkip = 0;
};

struct ScanEvent {
  enum class Kind : uint8_t {
    Frame,      // a whole frame: offset, size, header
    Skipped,    // bytes that are not part of a frame (garbage, a damaged frame cut short
                // by the next frame, a tag in the middle): offset, size
    Truncated,  // the last frame runs past the end of the region: offset, size (the bytes
                // present), header
    ReadError,  // the source returned fewer bytes than its size promised; scanning stops
  };
  Kind kind = Kind::Frame;
  uint64_t offset = 0;
  uint64_t size = 0;
  FrameHeader header;  // valid for Frame and Truncated
};

// Usage:
//   FrameScanner scanner(source, begin, end);
//   ScanEvent ev;
//   while (scanner.Next(ev)) { ... }
// Every byte of [begin, end) lies in exactly one Frame, Skipped or Truncated event, in order.
class FrameScanner {
 public:
  FrameScanner(ByteSource& source, uint64_t begin, uint64_t end, ScanOptions options = {});
  // Produces the next event; false when the region is exhausted (or after ReadError).
  bool Next(ScanEvent& event);
  // The bytes [offset, offset + size) while the scanner's buffer still holds them (the frame
  // it has just reported, as a rule), else an empty view; valid until the next call of Next.
  ByteView Buffered(uint64_t offset, uint64_t size) const;
  // The stream parameters the scanner is currently locked to (valid after the first frame).
  bool Locked() const { return locked_; }
  const FrameHeader& StreamHeader() const { return stream_; }

 private:
  // A word already parsed. An empty entry (raw 0, which never is a header) reads as invalid.
  struct KnownHeader {
    uint32_t raw = 0;
    int length = 0;           // 0 for a free-format or an invalid word
    bool freeFormat = false;  // `header` holds a free-format header whose length is unknown
    FrameHeader header;
  };
  static constexpr size_t kKnownHeaders = 64;
  // Where words with the fixed bits of one free-format header start, as far as looked: the
  // windows measured for nearby candidates overlap, and junk met while searching holds many
  // candidates, so each byte is looked at once rather than once per candidate.
  struct FreeFormatMatches {
    uint32_t fixed = 0;
    uint64_t from = 0;
    uint64_t to = 0;  // [from, to) has been looked at
    std::vector<uint64_t> at;
  };

  bool NextChained(ScanEvent& event);
  const KnownHeader& KnownAt(uint64_t offset);  // offset..offset+3 must be buffered
  bool TryFrameAt(ScanEvent& found);
  bool Fill(uint64_t offset, size_t count);                      // make [offset, offset+count) buffered
  bool HeaderAt(uint64_t offset, FrameHeader& out);              // parses a header lying fully in the region
  bool ResolveFreeFormat(uint64_t offset, FrameHeader& header);  // false when no length is found
  // 0 when no next frame tells; `confirmed` when the frame after that next one follows too.
  int MeasureFreeFormat(uint64_t offset, const FrameHeader& header, bool& confirmed);
  // Where in matches_.at the words in [from, last] with these fixed bits begin (they run on
  // while at or before last). The bytes up to last + 3 must be buffered.
  size_t FirstFreeFormatMatch(uint32_t fixed, uint64_t from, uint64_t last);
  bool Confirmed(uint64_t offset, const FrameHeader& first);
  bool ChainsOn(uint64_t offset, const FrameHeader& header);
  uint64_t NextSyncByte(uint64_t from);                    // end_ when none
  uint64_t FindConfirmedSync(uint64_t from, uint64_t to);  // to when none

  ByteSource& source_;
  uint64_t begin_;
  uint64_t pos_;
  uint64_t end_;
  ScanOptions options_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t bufferSize_ = 0;
  uint64_t bufferOffset_ = 0;
  size_t bufferFill_ = 0;
  bool readError_ = false;
  bool readBefore_ = false;  // ScanOptions::firstReadSize holds for the first read only
  bool locked_ = false;
  bool chained_ = false;  // pos_ directly follows an accepted frame
  bool done_ = false;
  uint64_t resyncAt_ = UINT64_MAX;  // a position already confirmed while looking ahead
  FrameHeader stream_;
  FrameHeader lastFreeFormat_;  // the last free-format header whose length was measured
  // The last header parsed: chained frames are looked at twice (as the next frame of their
  // predecessor, then as the current frame).
  uint64_t lastHeaderAt_ = UINT64_MAX;
  FrameHeader lastHeader_;
  bool havePending_ = false;
  ScanEvent pending_;
  KnownHeader known_[kKnownHeaders];
  FreeFormatMatches matches_;
};

}  // namespace mp3
