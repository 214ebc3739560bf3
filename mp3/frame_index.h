// Index of every audio frame of a file: byte offset, size and start time, built in one
// streaming pass. Memory: 10 bytes per frame (8 offset + 2 size); start times are implicit
// because all frames of one stream have the same duration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3/byte_source.h"
#include "mp3/media_time.h"
#include "mp3/scanner.h"
#include "mp3/stream.h"

namespace mp3 {

class FrameIndex {
 public:
  FrameIndex() = default;

  // Layout of the file (tags, first header, ...), its information frame and counts those of
  // the file's stream.
  const StreamLayout& Layout() const { return layout_; }
  // Stream parameters (from the first audio frame of the file's stream: see StreamTally).
  const FrameHeader& StreamHeader() const { return header_; }
  int SampleRate() const { return header_.sampleRate; }
  int SamplesPerFrame() const { return samplesPerFrame_; }
  int Channels() const { return header_.Channels(); }

  // Audio frames only: the information frame is not counted.
  size_t FrameCount() const { return offsets_.size(); }
  uint64_t FrameOffset(size_t frame) const { return offsets_[frame]; }
  uint32_t FrameSize(size_t frame) const { return sizes_[frame]; }
  ByteRange FrameRange(size_t frame) const { return {offsets_[frame], sizes_[frame]}; }
  // Sum of the sizes of all audio frames.
  uint64_t AudioBytes() const { return audioBytes_; }

  // Start of a frame; `frame` may be FrameCount() (then: the end of the stream).
  int64_t FrameStartSample(size_t frame) const { return int64_t(frame) * samplesPerFrame_; }
  int64_t FrameStartUnits(size_t frame) const;  // 100-ns units
  int64_t FrameStartMs(size_t frame) const;

  int64_t TotalSamples() const { return FrameStartSample(FrameCount()); }
  int64_t DurationUnits() const { return FrameStartUnits(FrameCount()); }
  int64_t DurationMs() const { return FrameStartMs(FrameCount()); }

  // The frame that holds the given time: frame i holds [start(i), start(i+1)). Times before
  // 0 give frame 0; times at or past the end give the last frame. 0 when there are no frames.
  size_t FrameAtSample(int64_t sample) const;
  size_t FrameAtUnits(int64_t units) const;
  size_t FrameAtMs(int64_t ms) const;

  // What the pass met besides audio frames.
  uint64_t SkippedBytes() const { return skippedBytes_; }
  size_t SkippedRanges() const { return skippedRanges_; }
  bool HasTruncatedFrame() const { return truncated_.size != 0; }
  ByteRange TruncatedFrame() const { return truncated_; }
  // Frames of the file's other streams (other version/layer/rate); they are not indexed.
  size_t ForeignFrames() const { return foreignFrames_; }

 private:
  friend struct IndexBuilder;
  StreamLayout layout_;
  FrameHeader header_;
  int samplesPerFrame_ = 0;
  std::vector<uint64_t> offsets_;
  std::vector<uint16_t> sizes_;
  uint64_t audioBytes_ = 0;
  uint64_t skippedBytes_ = 0;
  size_t skippedRanges_ = 0;
  size_t foreignFrames_ = 0;
  ByteRange truncated_;
};

struct IndexResult {
  Status status = Status::Ok;
  FrameIndex index;
  bool ok() const { return status == Status::Ok; }
};

// One pass over the whole source. Status NoAudio when no audio frame was found (an
// information frame alone does not count); the index still carries the layout then.
IndexResult BuildFrameIndex(ByteSource& source, const ScanOptions& options = {});

}  // namespace mp3
