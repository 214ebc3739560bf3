#include "mp3/scanner.h"

#include <algorithm>
#include <cstring>

namespace mp3 {
namespace {

constexpr int kMaxConfirmFrames = 16;
constexpr size_t kMinBufferSize = 64 * 1024;
constexpr uint8_t kSyncByte = 0xFF;
// The fixed bits of a free-format header: sync, version, layer, protection, bitrate index
// and sample rate. The next frame of the stream repeats them.
constexpr uint32_t kFreeFormatFixedBits = 0xFFFFFC00u;

uint32_t BigEndianWord(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
int SlotBytes(const FrameHeader& h) { return h.layer == Layer::I ? 4 : 1; }

ScanEvent MakeEvent(ScanEvent::Kind kind, uint64_t offset, uint64_t size, const FrameHeader& header = {}) {
  ScanEvent e;
  e.kind = kind;
  e.offset = offset;
  e.size = size;
  e.header = header;
  return e;
}

}  // namespace

FrameScanner::FrameScanner(ByteSource& source, uint64_t begin, uint64_t end, ScanOptions options)
    : source_(source), begin_(begin), pos_(begin), end_(std::min(end, source.Size())), options_(options) {
  if (pos_ > end_) pos_ = end_;
  options_.confirmFrames = std::clamp(options_.confirmFrames, 0, kMaxConfirmFrames);
  // The buffer must hold a whole confirmation chain with room to spare.
  const size_t lookahead = size_t(options_.confirmFrames + 3) * kMaxFrameLength;
  // A region smaller than that needs no more than itself.
  bufferSize_ = size_t(std::min<uint64_t>(std::max({options_.bufferSize, kMinBufferSize, 4 * lookahead}),
                                          std::max<uint64_t>(end_ - pos_, 1)));
  // Not cleared first: only bytes read into it are ever looked at.
  buffer_.reset(new uint8_t[bufferSize_]);
  bufferOffset_ = pos_;
}

bool FrameScanner::Fill(uint64_t offset, size_t count) {
  if (offset >= end_) return count == 0;
  const uint64_t wantEnd = std::min<uint64_t>(end_, offset + count);
  const uint64_t bufferEnd = bufferOffset_ + bufferFill_;
  if (offset >= bufferOffset_ && wantEnd <= bufferEnd) return true;
  // Keep the scan position buffered when looking ahead from it, so that stepping back to
  // the next candidate does not read the same bytes again.
  uint64_t start = offset;
  if (pos_ < offset && pos_ >= bufferOffset_ && wantEnd - pos_ <= bufferSize_ / 2) start = pos_;
  size_t keep = 0;
  if (start >= bufferOffset_ && start < bufferEnd) {
    keep = size_t(bufferEnd - start);
    std::memmove(buffer_.get(), buffer_.get() + (start - bufferOffset_), keep);
  }
  bufferOffset_ = start;
  bufferFill_ = keep;
  size_t toRead = size_t(std::min<uint64_t>(bufferSize_ - keep, end_ - (start + keep)));
  if (!readBefore_ && options_.firstReadSize != 0) {
    const size_t wanted = size_t(wantEnd - std::min(wantEnd, start + keep));
    toRead = std::min(toRead, std::max(wanted, options_.firstReadSize));
  }
  readBefore_ = true;
  const size_t got = source_.ReadAt(start + keep, buffer_.get() + keep, toRead);
  bufferFill_ += got;
  if (got < toRead) readError_ = true;
  return wantEnd <= bufferOffset_ + bufferFill_;
}

ByteView FrameScanner::Buffered(uint64_t offset, uint64_t size) const {
  if (offset < bufferOffset_ || offset - bufferOffset_ > bufferFill_ || size > bufferFill_ - (offset - bufferOffset_))
    return ByteView();
  return ByteView(buffer_.get() + (offset - bufferOffset_), size_t(size));
}

bool FrameScanner::HeaderAt(uint64_t offset, FrameHeader& out) {
  if (offset == lastHeaderAt_) {
    out = lastHeader_;
    return true;
  }
  if (offset >= end_ || end_ - offset < uint64_t(kHeaderSize) || !Fill(offset, kHeaderSize)) return false;
  const KnownHeader& known = KnownAt(offset);
  if (known.length == 0 && !known.freeFormat) return false;
  out = known.header;
  if (known.freeFormat && !ResolveFreeFormat(offset, out)) return false;
  lastHeaderAt_ = offset;
  lastHeader_ = out;
  return true;
}

bool FrameScanner::ResolveFreeFormat(uint64_t offset, FrameHeader& header) {
  if (locked_ && stream_.FreeFormat() && (stream_.raw & kFreeFormatFixedBits) == (header.raw & kFreeFormatFixedBits)) {
    header.SetFreeFormatLength(stream_.freeFormatLength);
    return true;
  }
  bool confirmed = false;
  const int length = MeasureFreeFormat(offset, header, confirmed);
  // The last frame has no next one to measure by: it has the length its predecessors had,
  // also where a header-like word inside it would end it early, as long as that length ends
  // it exactly at the end of the region.
  const bool lengthKnown = lastFreeFormat_.freeFormatLength != 0 &&
                           (lastFreeFormat_.raw & kFreeFormatFixedBits) == (header.raw & kFreeFormatFixedBits);
  FrameHeader known = header;
  if (lengthKnown) known.SetFreeFormatLength(lastFreeFormat_.freeFormatLength);
  const bool knownEndsTheRegion = lengthKnown && offset + uint64_t(known.FrameLength()) == end_;
  if (length != 0 && (confirmed || !knownEndsTheRegion)) {
    header.SetFreeFormatLength(length);
    lastFreeFormat_ = header;
    return true;
  }
  if (!lengthKnown) return false;
  header = known;
  return true;
}

int FrameScanner::MeasureFreeFormat(uint64_t offset, const FrameHeader& header, bool& confirmed) {
  // The length is the distance to the next header with the same fixed bits; a match inside
  // the frame's data is told apart by the frame after it, which must match too.
  const uint64_t first = offset + uint64_t(header.DataOffset()) + 1;
  const uint64_t window = std::min<uint64_t>(end_ - offset, 2 * uint64_t(kMaxFreeFormatFrameLength) + 2 * kHeaderSize);
  if (window < first - offset + kHeaderSize || !Fill(offset, size_t(window))) return 0;
  const uint8_t* base = buffer_.get() + (offset - bufferOffset_);
  const uint32_t fixed = header.raw & kFreeFormatFixedBits;
  auto matchesAt = [&](uint64_t at) {
    return at - offset + kHeaderSize <= window && base[at - offset] == kSyncByte &&
           (BigEndianWord(base + (at - offset)) & kFreeFormatFixedBits) == fixed;
  };
  const uint64_t last = offset + std::min<uint64_t>(window - kHeaderSize, kMaxFreeFormatFrameLength);
  const std::vector<uint64_t>& matches = matches_.at;
  for (size_t k = FirstFreeFormatMatch(fixed, first, last); k < matches.size() && matches[k] <= last; ++k) {
    const uint64_t p = matches[k];
    const int length = int(p - offset) - (header.padding ? SlotBytes(header) : 0);
    const bool nextPadded = ((base[p - offset + 2] >> 1) & 1) != 0;
    const uint64_t after = p + uint64_t(length) + (nextPadded ? uint64_t(SlotBytes(header)) : 0);
    confirmed = after < end_ && after - offset + kHeaderSize <= window && matchesAt(after);
    if (confirmed || after >= end_ || after - offset + kHeaderSize > window) return length;
  }
  return 0;
}

size_t FrameScanner::FirstFreeFormatMatch(uint32_t fixed, uint64_t from, uint64_t last) {
  FreeFormatMatches& m = matches_;
  if (m.fixed != fixed || from < m.from || from > m.to) {
    m.fixed = fixed;
    m.from = m.to = from;
    m.at.clear();
  }
  for (uint64_t p = m.to; p <= last; ++p) {
    // Only a sync byte can start the next header.
    const uint8_t* here = buffer_.get() + (p - bufferOffset_);
    const void* sync = std::memchr(here, kSyncByte, size_t(last - p + 1));
    if (sync == nullptr) break;
    p += uint64_t(static_cast<const uint8_t*>(sync) - here);
    if ((BigEndianWord(buffer_.get() + (p - bufferOffset_)) & kFreeFormatFixedBits) == fixed) m.at.push_back(p);
  }
  m.to = std::max(m.to, last + 1);
  return size_t(std::lower_bound(m.at.begin(), m.at.end(), from) - m.at.begin());
}

bool FrameScanner::ChainsOn(uint64_t offset, const FrameHeader& header) {
  FrameHeader next;
  return HeaderAt(offset, next) && SameStream(next, header);
}

bool FrameScanner::Confirmed(uint64_t offset, const FrameHeader& first) {
  uint64_t p = offset + uint64_t(first.FrameLength());
  if (p > end_) return false;
  for (int k = 0; k < options_.confirmFrames; ++k) {
    if (p == end_) return true;  // fewer frames suffice when the chain meets the end exactly
    FrameHeader next;
    if (!HeaderAt(p, next) || !SameStream(next, first)) return false;
    p += uint64_t(next.FrameLength());
    if (p > end_) return true;  // the chain ends in a truncated last frame
  }
  return true;
}

uint64_t FrameScanner::NextSyncByte(uint64_t from) {
  while (from < end_) {
    if (!Fill(from, 1)) return end_;
    const uint8_t* begin = buffer_.get() + (from - bufferOffset_);
    const size_t available = size_t(bufferOffset_ + bufferFill_ - from);
    const void* hit = std::memchr(begin, kSyncByte, available);
    if (hit != nullptr) return from + uint64_t(static_cast<const uint8_t*>(hit) - begin);
    from += available;
  }
  return end_;
}

uint64_t FrameScanner::FindConfirmedSync(uint64_t from, uint64_t to) {
  for (uint64_t p = NextSyncByte(from); p < to && !readError_; p = NextSyncByte(p + 1)) {
    FrameHeader h;
    if (HeaderAt(p, h) && Confirmed(p, h)) return p;
  }
  return to;
}

const FrameScanner::KnownHeader& FrameScanner::KnownAt(uint64_t offset) {
  const uint32_t raw = BigEndianWord(buffer_.get() + (offset - bufferOffset_));
  // A stream's frames differ in a few header bits only (bitrate, padding, mode extension),
  // so a small table of the words met spares parsing each header again.
  KnownHeader& entry = known_[(raw * 2654435761u) >> 26];
  if (entry.raw == raw) return entry;
  const std::optional<FrameHeader> h = ParseFrameHeader(raw);
  entry.raw = raw;
  entry.header = h ? *h : FrameHeader();
  entry.freeFormat = h && h->FreeFormat();
  entry.length = h && !entry.freeFormat ? h->FrameLength() : 0;
  return entry;
}

// The common case of a frame whose successor starts right after it, both in the buffer: the
// same verdict as TryFrameAt's, reached without its general search. False leaves it to that.
bool FrameScanner::NextChained(ScanEvent& event) {
  if (!chained_ || havePending_ || done_ || readError_ || pos_ >= end_ || pos_ < bufferOffset_) return false;
  const uint64_t bufferEnd = bufferOffset_ + bufferFill_;
  if (pos_ + kHeaderSize > bufferEnd) return false;
  const KnownHeader& entry = KnownAt(pos_);
  if (entry.length == 0 || !SameStream(entry.header, stream_)) return false;
  // A copy: looking up the next word may reuse the same table entry.
  const KnownHeader here = entry;
  const uint64_t next = pos_ + uint64_t(here.length);
  if (next > end_) return false;
  if (next < end_) {
    if (next + kHeaderSize > bufferEnd) return false;
    const KnownHeader& after = KnownAt(next);
    if (after.length == 0 || !SameStream(after.header, here.header)) return false;
  }
  event.kind = ScanEvent::Kind::Frame;
  event.offset = pos_;
  event.size = uint64_t(here.length);
  event.header = here.header;
  stream_ = here.header;
  pos_ = next;
  return true;
}

bool FrameScanner::TryFrameAt(ScanEvent& found) {
  FrameHeader h;
  if (!HeaderAt(pos_, h)) return false;
  const uint64_t length = uint64_t(h.FrameLength());
  if (chained_ && SameStream(h, stream_)) {
    if (pos_ + length > end_) {
      found = MakeEvent(ScanEvent::Kind::Truncated, pos_, end_ - pos_, h);
      return true;
    }
    if (pos_ + length == end_ || ChainsOn(pos_ + length, h)) {
      found = MakeEvent(ScanEvent::Kind::Frame, pos_, length, h);
      return true;
    }
    // No frame follows. Either something else follows a good frame, or the next frame
    // starts inside this one: then this frame was cut short and is not a frame at all.
    const uint64_t inside = FindConfirmedSync(pos_ + 1, pos_ + length);
    if (inside < pos_ + length) {
      found = MakeEvent(ScanEvent::Kind::Skipped, pos_, inside - pos_);
      resyncAt_ = inside;
      return true;
    }
    found = MakeEvent(ScanEvent::Kind::Frame, pos_, length, h);
    return true;
  }
  if (pos_ == resyncAt_ || Confirmed(pos_, h)) {
    found = MakeEvent(ScanEvent::Kind::Frame, pos_, length, h);
    return true;
  }
  return false;
}

bool FrameScanner::Next(ScanEvent& event) {
  if (NextChained(event)) return true;
  if (havePending_) {
    havePending_ = false;
    event = pending_;
    return true;
  }
  if (done_) return false;
  const uint64_t skipStart = pos_;
  while (pos_ < end_ && !readError_) {
    if (!locked_ && options_.maxLeadingSkip != 0 && pos_ - begin_ > options_.maxLeadingSkip) {
      pos_ = end_;
      break;
    }
    ScanEvent found;
    if (TryFrameAt(found) && !readError_) {
      pos_ = found.offset + found.size;
      chained_ = found.kind == ScanEvent::Kind::Frame;
      if (found.kind == ScanEvent::Kind::Frame) {
        stream_ = found.header;
        locked_ = true;
      }
      if (found.kind == ScanEvent::Kind::Truncated) done_ = true;
      if (found.offset > skipStart) {
        event = MakeEvent(ScanEvent::Kind::Skipped, skipStart, found.offset - skipStart);
        pending_ = found;
        havePending_ = true;
      } else {
        event = found;
      }
      return true;
    }
    chained_ = false;
    pos_ = NextSyncByte(pos_ + 1);
  }
  if (readError_) {
    done_ = true;
    event = MakeEvent(ScanEvent::Kind::ReadError, pos_, 0);
    return true;
  }
  done_ = true;
  if (pos_ > skipStart) {
    event = MakeEvent(ScanEvent::Kind::Skipped, skipStart, pos_ - skipStart);
    return true;
  }
  return false;
}

}  // namespace mp3
