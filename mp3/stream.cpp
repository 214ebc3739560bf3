#include "mp3/stream.h"

#include <vector>

#include "mp3/media_time.h"

namespace mp3 {
namespace {

// Frame count for `bytes` of audio at the bitrate of `header` (a CBR estimate).
uint64_t EstimateFrames(uint64_t bytes, const FrameHeader& header) {
  const uint64_t bitsPerFrame = uint64_t(header.SamplesPerFrame()) * uint64_t(header.bitrateKbps) * 1000;
  if (bitsPerFrame == 0) return 0;
  return bytes * 8 * uint64_t(header.sampleRate) / bitsPerFrame;
}

}  // namespace

const char* StatusText(Status status) {
  switch (status) {
    case Status::Ok: return "ok";
    case Status::Empty: return "the file is empty";
    case Status::NoAudio: return "no MPEG audio frames found";
    case Status::ReadError: return "the file could not be read";
  }
  return "?";
}

namespace {

// Whether `frame` is an information frame, into `info`; its bytes from `held` where that holds
// them (the scanner's buffer: no second read), else from the source. False when they cannot be read.
bool ReadInfoFrame(ByteSource& source, const ScanEvent& frame, ByteView held, std::optional<InfoFrame>& info) {
  if (held.size == frame.size) {
    info = ParseInfoFrame(frame.header, held);
    return true;
  }
  std::vector<uint8_t> bytes(size_t(frame.size));
  if (!ReadExact(source, frame.offset, bytes.data(), bytes.size())) return false;
  info = ParseInfoFrame(frame.header, ByteView(bytes));
  return true;
}

// The tags at both ends, which bound the audio region; false for an empty file.
bool FindRegion(ByteSource& source, AnalyzeResult& result) {
  StreamLayout& layout = result.layout;
  layout.fileSize = source.Size();
  if (layout.fileSize == 0) {
    result.status = Status::Empty;
    return false;
  }
  layout.leadingTags = FindLeadingTags(source, 0);
  layout.audioStart = layout.leadingTags.empty() ? 0 : layout.leadingTags.back().range.End();
  layout.id3v2Size = layout.audioStart;
  layout.tail = FindTailTags(source, layout.audioStart);
  layout.audioEnd = layout.tail.audioEnd;
  return true;
}

// AnalyzeStream's look at the first frames, by a scanner over the audio region that the
// caller may go on with; the events it took go to `taken`.
void AnalyzeFrames(ByteSource& source, FrameScanner& scanner, AnalyzeResult& result, std::vector<ScanEvent>& taken) {
  StreamLayout& layout = result.layout;
  ScanEvent event;
  bool found = false;
  while (!found && scanner.Next(event)) {
    taken.push_back(event);
    if (event.kind == ScanEvent::Kind::ReadError) {
      result.status = Status::ReadError;
      return;
    }
    found = event.kind == ScanEvent::Kind::Frame;
  }
  if (!found) {
    result.status = Status::NoAudio;
    return;
  }
  layout.firstFrameOffset = event.offset;
  layout.firstHeader = event.header;
  layout.leadingGarbage = event.offset - layout.audioStart;
  layout.firstAudioFrameOffset = event.offset;
  FrameHeader audioHeader = event.header;

  if (!ReadInfoFrame(source, event, scanner.Buffered(event.offset, event.size), layout.info)) {
    result.status = Status::ReadError;
    return;
  }
  if (layout.info) {
    layout.infoFrameRange = {event.offset, event.size};
    layout.firstAudioFrameOffset = event.offset + event.size;
    while (scanner.Next(event)) {
      taken.push_back(event);
      if (event.kind == ScanEvent::Kind::Frame) {
        layout.firstAudioFrameOffset = event.offset;
        audioHeader = event.header;
        break;
      }
      if (event.kind == ScanEvent::Kind::ReadError) break;
    }
  }

  const uint64_t audioBytes =
      layout.audioEnd > layout.firstAudioFrameOffset ? layout.audioEnd - layout.firstAudioFrameOffset : 0;
  layout.estimatedFrames = EstimateFrames(audioBytes, audioHeader);
  if (layout.info && layout.info->xing && layout.info->xing->frames) {
    layout.estimatedFrames = *layout.info->xing->frames;
    layout.estimatedFromHeader = true;
  } else if (layout.info && layout.info->vbri) {
    layout.estimatedFrames = layout.info->vbri->frames;
    layout.estimatedFromHeader = true;
  }
  layout.estimatedDurationUnits =
      SamplesToUnits(int64_t(layout.estimatedFrames) * audioHeader.SamplesPerFrame(), audioHeader.sampleRate);
}

}  // namespace

AnalyzeResult AnalyzeStream(ByteSource& source, const ScanOptions& options) {
  AnalyzeResult result;
  if (!FindRegion(source, result)) return result;
  FrameScanner scanner(source, result.layout.audioStart, result.layout.audioEnd, options);
  std::vector<ScanEvent> taken;
  AnalyzeFrames(source, scanner, result, taken);
  return result;
}

int64_t StreamSummary::DurationUnits() const {
  return SamplesToUnits(int64_t(frames) * header.SamplesPerFrame(), header.sampleRate);
}

size_t StreamTally::Add(ByteSource& source, const ScanEvent& frame, ByteView held) {
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (!SameStream(streams_[i].header, frame.header)) continue;
    StreamSummary& stream = streams_[i];
    // The information frame was the stream's first frame; this one is its first audio frame.
    if (stream.frames == 0) {
      stream.firstFrameOffset = frame.offset;
      stream.header = frame.header;
    }
    ++stream.frames;
    stream.bytes += frame.size;
    return i;
  }
  StreamSummary stream;
  stream.header = frame.header;
  stream.firstFrameOffset = frame.offset;
  ReadInfoFrame(source, frame, held, stream.info);
  const bool isInfo = stream.info.has_value();
  if (isInfo) {
    stream.infoFrameRange = {frame.offset, frame.size};
  } else {
    stream.frames = 1;
    stream.bytes = frame.size;
  }
  streams_.push_back(std::move(stream));
  return isInfo ? kInfoFrame : streams_.size() - 1;
}

size_t StreamTally::MainStream() const {
  size_t best = 0;
  for (size_t i = 1; i < streams_.size(); ++i)
    if (streams_[i].bytes > streams_[best].bytes) best = i;
  return best;
}

uint64_t StreamTally::TotalFrames() const {
  uint64_t total = 0;
  for (const StreamSummary& stream : streams_) total += stream.frames;
  return total;
}

void AdoptStream(StreamLayout& layout, const StreamSummary& stream) {
  layout.info = stream.info;
  layout.infoFrameRange = stream.infoFrameRange;
  layout.firstAudioFrameOffset = stream.firstFrameOffset;
  layout.estimatedFrames = stream.frames;
  layout.estimatedDurationUnits = stream.DurationUnits();
}

namespace {

// The information frame and the frames that confirm the stream after it: a handful of frames,
// each at most kMaxFreeFormatFrameLength.
constexpr size_t kFirstFramesRead = 16 * 1024;

// One window of the sample: from `begin` (a frame start when `atFrame`, else anywhere) on,
// at least `bytes` of frames of `stream`, each right after the one before, or all of them up
// to `end`, where the last must end. Sets `first` to the first frame's header.
bool WindowHoldsOnlyStream(ByteSource& source, uint64_t begin, uint64_t end, uint64_t bytes, bool atFrame,
                           const FrameHeader& stream, const ScanOptions& options, FrameHeader& first) {
  ScanOptions windowOptions = options;
  windowOptions.bufferSize = size_t(bytes);  // the scanner rounds it up to what it needs
  // The window's frames, the one across its end and the header after it, which shows that
  // frame whole: as a rule all the window looks at, in one read.
  windowOptions.firstReadSize = size_t(bytes) + size_t(kMaxFreeFormatFrameLength) + size_t(kHeaderSize);
  FrameScanner scanner(source, begin, end, windowOptions);
  ScanEvent event;
  bool framesMet = false;
  uint64_t next = begin;
  while (scanner.Next(event)) {
    if (event.kind != ScanEvent::Kind::Frame) {
      // Only the bytes before the first frame of a window that starts amid a frame are not one.
      if (atFrame || framesMet || event.kind != ScanEvent::Kind::Skipped || event.size >= uint64_t(kMaxFrameLength))
        return false;
      next = event.offset + event.size;
      continue;
    }
    if (event.offset != next || !SameStream(event.header, stream)) return false;
    if (!framesMet) first = event.header;
    framesMet = true;
    next = event.offset + event.size;
    if (next - begin >= bytes && next < end) return true;
  }
  // The window reached the end of the audio: the last frame must end exactly there.
  return framesMet && next == end;
}

// The decision from a sample (see StreamSampling); false when it cannot be made that way.
bool SampledMainStream(ByteSource& source, const ScanOptions& options, const StreamSampling& sampling,
                       MainStreamResult& result) {
  const StreamLayout& layout = result.layout;
  if (!sampling.enabled || sampling.windows < 2 || !layout.info || !layout.info->xing) return false;
  const XingInfo& xing = *layout.info->xing;
  if (!xing.frames || !xing.bytes || *xing.frames == 0 || layout.leadingGarbage != 0) return false;
  const uint64_t audioBegin = layout.infoFrameRange.End();
  if (layout.firstAudioFrameOffset != audioBegin || audioBegin >= layout.audioEnd) return false;
  if (uint64_t(*xing.bytes) != layout.audioEnd - layout.infoFrameRange.offset) return false;
  const uint64_t audioBytes = layout.audioEnd - audioBegin;
  if (audioBytes < sampling.minAudioBytes || audioBytes <= uint64_t(sampling.windows) * sampling.windowBytes)
    return false;
  // The count must be one this stream's frames can have: between all shortest and all longest.
  const FrameHeader& info = layout.info->header;
  const int* rates = BitrateTable(info.version, info.layer);
  const uint64_t shortest = uint64_t(ComputeFrameLength(info.version, info.layer, rates[0], info.sampleRate, false));
  const uint64_t longest = uint64_t(ComputeFrameLength(info.version, info.layer, rates[13], info.sampleRate, true));
  if (info.FreeFormat() || audioBytes < *xing.frames * shortest || audioBytes > *xing.frames * longest) return false;

  FrameHeader firstAudio;
  const uint64_t lastBegin = layout.audioEnd - sampling.windowBytes;
  for (int w = 0; w < sampling.windows; ++w) {
    const uint64_t begin = audioBegin + (lastBegin - audioBegin) / uint64_t(sampling.windows - 1) * uint64_t(w);
    FrameHeader first;
    if (!WindowHoldsOnlyStream(source, w == 0 ? audioBegin : begin, layout.audioEnd, sampling.windowBytes, w == 0, info,
                               options, first))
      return false;
    if (w == 0) firstAudio = first;
  }
  StreamSummary& stream = result.stream;
  stream.header = firstAudio;
  stream.frames = *xing.frames;
  stream.bytes = audioBytes;
  stream.firstFrameOffset = audioBegin;
  stream.info = layout.info;
  stream.infoFrameRange = layout.infoFrameRange;
  result.foreignFrames = 0;
  AdoptStream(result.layout, stream);
  return true;
}

}  // namespace

MainStreamResult FindMainStream(ByteSource& source, const ScanOptions& options, const StreamSampling& sampling,
                                ScanObserver* observer) {
  MainStreamResult result;
  AnalyzeResult analysis;
  if (!FindRegion(source, analysis)) {
    result.status = analysis.status;
    result.layout = std::move(analysis.layout);
    return result;
  }
  // One pass: the tally goes on where the analysis stopped, with the frames it has seen.
  // Where a sample may decide, the first frames are all this scanner is likely to read.
  ScanOptions passOptions = options;
  if (sampling.enabled && !observer) passOptions.firstReadSize = kFirstFramesRead;
  FrameScanner scanner(source, analysis.layout.audioStart, analysis.layout.audioEnd, passOptions);
  std::vector<ScanEvent> events;
  // Garbage, the first frame, an information frame and the frame after it, as a rule.
  events.reserve(4);
  AnalyzeFrames(source, scanner, analysis, events);
  result.status = analysis.status;
  result.layout = std::move(analysis.layout);
  if (!analysis.ok()) return result;
  if (!observer && SampledMainStream(source, options, sampling, result)) return result;
  if (observer) observer->Started(result.layout);
  StreamTally tally;
  size_t replayed = 0;
  auto next = [&](ScanEvent& event) {
    if (replayed == events.size()) return scanner.Next(event);
    event = events[replayed++];
    return true;
  };
  ScanEvent event;
  while (next(event)) {
    if (event.kind == ScanEvent::Kind::ReadError) {
      result.status = Status::ReadError;
      return result;
    }
    size_t stream = ScanObserver::kNoStream;
    bool infoFrame = false;
    const ByteView held = scanner.Buffered(event.offset, event.size);
    if (event.kind == ScanEvent::Kind::Frame) {
      stream = tally.Add(source, event, held);
      infoFrame = stream == StreamTally::kInfoFrame;
      if (infoFrame) stream = tally.Streams() - 1;  // an information frame opens a stream
    }
    if (observer) observer->Seen(event, stream, infoFrame, held);
  }
  const size_t main = tally.MainStream();
  if (tally.Empty() || tally.Stream(main).frames == 0) {
    result.status = Status::NoAudio;
    return result;
  }
  result.stream = tally.Stream(main);
  result.streamNumber = main;
  result.foreignFrames = tally.TotalFrames() - result.stream.frames;
  AdoptStream(result.layout, result.stream);
  return result;
}

}  // namespace mp3
