#include "mp3/frame_index.h"

#include <algorithm>

namespace mp3 {
namespace {

// Reserving is only a hint: never more than this many frames up front (40 MB), whatever
// an information frame claims; the vectors grow beyond it when a file really has more.
constexpr uint64_t kMaxReservedFrames = uint64_t(1) << 22;

// How many frames of this stream the region can hold at most: all at the lowest bitrate.
uint64_t MaxFramesIn(uint64_t regionBytes, const mp3::FrameHeader& h) {
  const int shortest = mp3::ComputeFrameLength(h.version, h.layer, mp3::BitrateTable(h.version, h.layer)[0], h.sampleRate, false);
  return shortest > 0 ? regionBytes / uint64_t(shortest) + 1 : 0;
}

}  // namespace

struct IndexBuilder {
  static void Build(ByteSource& source, const ScanOptions& options, IndexResult& result);
};

int64_t FrameIndex::FrameStartUnits(size_t frame) const { return SamplesToUnits(FrameStartSample(frame), SampleRate()); }
int64_t FrameIndex::FrameStartMs(size_t frame) const { return SamplesToMs(FrameStartSample(frame), SampleRate()); }

size_t FrameIndex::FrameAtSample(int64_t sample) const {
  if (offsets_.empty() || sample <= 0 || samplesPerFrame_ <= 0) return 0;
  return size_t(std::min<int64_t>(sample / samplesPerFrame_, int64_t(offsets_.size()) - 1));
}

// Converting back to samples truncates; the neighbours are checked against the forward
// conversion so that FrameAt(FrameStart(i)) == i holds exactly.
template <class StartOf>
static size_t SettleFrame(size_t guess, size_t count, int64_t time, StartOf startOf) {
  while (guess + 1 < count && startOf(guess + 1) <= time) ++guess;
  while (guess > 0 && startOf(guess) > time) --guess;
  return guess;
}

size_t FrameIndex::FrameAtUnits(int64_t units) const {
  if (offsets_.empty()) return 0;
  const size_t guess = FrameAtSample(UnitsToSamples(units, SampleRate()));
  return SettleFrame(guess, offsets_.size(), units, [this](size_t f) { return FrameStartUnits(f); });
}

size_t FrameIndex::FrameAtMs(int64_t ms) const {
  if (offsets_.empty()) return 0;
  const size_t guess = FrameAtSample(MsToSamples(ms, SampleRate()));
  return SettleFrame(guess, offsets_.size(), ms, [this](size_t f) { return FrameStartMs(f); });
}

void IndexBuilder::Build(ByteSource& source, const ScanOptions& options, IndexResult& result) {
  const AnalyzeResult analysis = AnalyzeStream(source, options);
  result.status = analysis.status;
  FrameIndex& index = result.index;
  index.layout_ = analysis.layout;
  if (!analysis.ok()) return;
  const StreamLayout& layout = index.layout_;

  const uint64_t regionBytes = layout.audioEnd - layout.audioStart;
  index.offsets_.reserve(size_t(std::min({layout.estimatedFrames + layout.estimatedFrames / 8 + 16,
                                            MaxFramesIn(regionBytes, layout.firstHeader), kMaxReservedFrames})));
  index.sizes_.reserve(index.offsets_.capacity());
  const bool skipInfoFrame = layout.infoFrameRange.size != 0;
  bool haveStream = false;

  FrameScanner scanner(source, layout.audioStart, layout.audioEnd, options);
  ScanEvent event;
  while (scanner.Next(event)) {
    switch (event.kind) {
      case ScanEvent::Kind::Frame:
        if (skipInfoFrame && event.offset == layout.infoFrameRange.offset) break;
        if (!haveStream) {
          index.header_ = event.header;
          index.samplesPerFrame_ = event.header.SamplesPerFrame();
          haveStream = true;
        }
        if (!SameStream(event.header, index.header_)) {
          ++index.foreignFrames_;
          break;
        }
        index.offsets_.push_back(event.offset);
        index.sizes_.push_back(uint16_t(event.size));
        index.audioBytes_ += event.size;
        break;
      case ScanEvent::Kind::Skipped:
        index.skippedBytes_ += event.size;
        ++index.skippedRanges_;
        break;
      case ScanEvent::Kind::Truncated:
        index.truncated_ = {event.offset, event.size};
        break;
      case ScanEvent::Kind::ReadError:
        result.status = Status::ReadError;
        return;
    }
  }
  if (!haveStream) {
    // Only an information frame and no audio after it.
    index.header_ = layout.firstHeader;
    index.samplesPerFrame_ = layout.firstHeader.SamplesPerFrame();
    result.status = Status::NoAudio;
  }
}

IndexResult BuildFrameIndex(ByteSource& source, const ScanOptions& options) {
  IndexResult result;
  IndexBuilder::Build(source, options, result);
  return result;
}

}  // namespace mp3
