#include "mp3/frame_index.h"

#include <algorithm>

namespace mp3 {
namespace {

// Reserving is only a hint: never more than this many frames up front (40 MB), whatever
// an information frame claims; the vectors grow beyond it when a file really has more.
constexpr uint64_t kMaxReservedFrames = uint64_t(1) << 22;

// How many frames of this stream the region can hold at most: all at the lowest bitrate.
uint64_t MaxFramesIn(uint64_t regionBytes, const mp3::FrameHeader& h) {
  const int shortest =
      mp3::ComputeFrameLength(h.version, h.layer, mp3::BitrateTable(h.version, h.layer)[0], h.sampleRate, false);
  return shortest > 0 ? regionBytes / uint64_t(shortest) + 1 : 0;
}

}  // namespace

struct IndexBuilder {
  static void Build(ByteSource& source, const ScanOptions& options, IndexResult& result);
};

int64_t FrameIndex::FrameStartUnits(size_t frame) const {
  return SamplesToUnits(FrameStartSample(frame), SampleRate());
}
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

  // Frames are collected per stream in the one pass; the file's stream is known only at its end.
  struct Frames {
    std::vector<uint64_t> offsets;
    std::vector<uint16_t> sizes;
  };
  std::vector<Frames> perStream(1);
  const uint64_t regionBytes = layout.audioEnd - layout.audioStart;
  perStream[0].offsets.reserve(size_t(std::min({layout.estimatedFrames + layout.estimatedFrames / 8 + 16,
                                                MaxFramesIn(regionBytes, layout.firstHeader), kMaxReservedFrames})));
  perStream[0].sizes.reserve(perStream[0].offsets.capacity());
  StreamTally tally;

  FrameScanner scanner(source, layout.audioStart, layout.audioEnd, options);
  ScanEvent event;
  while (scanner.Next(event)) {
    switch (event.kind) {
      case ScanEvent::Kind::Frame: {
        const size_t stream = tally.Add(source, event, scanner.Buffered(event.offset, event.size));
        if (stream == StreamTally::kInfoFrame) break;
        if (stream >= perStream.size()) perStream.resize(stream + 1);
        perStream[stream].offsets.push_back(event.offset);
        perStream[stream].sizes.push_back(uint16_t(event.size));
        break;
      }
      case ScanEvent::Kind::Skipped:
        index.skippedBytes_ += event.size;
        ++index.skippedRanges_;
        break;
      case ScanEvent::Kind::Truncated: index.truncated_ = {event.offset, event.size}; break;
      case ScanEvent::Kind::ReadError: result.status = Status::ReadError; return;
    }
  }
  const size_t main = tally.MainStream();
  if (tally.Empty() || tally.Stream(main).frames == 0) {
    // Only an information frame and no audio after it.
    index.header_ = layout.firstHeader;
    index.samplesPerFrame_ = layout.firstHeader.SamplesPerFrame();
    result.status = Status::NoAudio;
    return;
  }
  const StreamSummary& stream = tally.Stream(main);
  AdoptStream(index.layout_, stream);
  index.header_ = stream.header;
  index.samplesPerFrame_ = stream.header.SamplesPerFrame();
  index.offsets_ = std::move(perStream[main].offsets);
  index.sizes_ = std::move(perStream[main].sizes);
  index.audioBytes_ = stream.bytes;
  index.foreignFrames_ = size_t(tally.TotalFrames() - stream.frames);
}

IndexResult BuildFrameIndex(ByteSource& source, const ScanOptions& options) {
  IndexResult result;
  IndexBuilder::Build(source, options, result);
  return result;
}

}  // namespace mp3
