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

AnalyzeResult AnalyzeStream(ByteSource& source, const ScanOptions& options) {
  AnalyzeResult result;
  StreamLayout& layout = result.layout;
  layout.fileSize = source.Size();
  if (layout.fileSize == 0) {
    result.status = Status::Empty;
    return result;
  }
  layout.leadingTags = FindLeadingTags(source, 0);
  layout.audioStart = layout.leadingTags.empty() ? 0 : layout.leadingTags.back().range.End();
  layout.id3v2Size = layout.audioStart;
  layout.tail = FindTailTags(source, layout.audioStart);
  layout.audioEnd = layout.tail.audioEnd;

  FrameScanner scanner(source, layout.audioStart, layout.audioEnd, options);
  ScanEvent event;
  bool found = false;
  while (!found && scanner.Next(event)) {
    if (event.kind == ScanEvent::Kind::ReadError) {
      result.status = Status::ReadError;
      return result;
    }
    found = event.kind == ScanEvent::Kind::Frame;
  }
  if (!found) {
    result.status = Status::NoAudio;
    return result;
  }
  layout.firstFrameOffset = event.offset;
  layout.firstHeader = event.header;
  layout.leadingGarbage = event.offset - layout.audioStart;
  layout.firstAudioFrameOffset = event.offset;
  FrameHeader audioHeader = event.header;

  std::vector<uint8_t> frame(size_t(event.size));
  if (!ReadExact(source, event.offset, frame.data(), frame.size())) {
    result.status = Status::ReadError;
    return result;
  }
  layout.info = ParseInfoFrame(event.header, ByteView(frame));
  if (layout.info) {
    layout.infoFrameRange = {event.offset, event.size};
    layout.firstAudioFrameOffset = event.offset + event.size;
    while (scanner.Next(event)) {
      if (event.kind == ScanEvent::Kind::Frame) {
        layout.firstAudioFrameOffset = event.offset;
        audioHeader = event.header;
        break;
      }
      if (event.kind == ScanEvent::Kind::ReadError) break;
    }
  }

  const uint64_t audioBytes = layout.audioEnd > layout.firstAudioFrameOffset ? layout.audioEnd - layout.firstAudioFrameOffset : 0;
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
  return result;
}

}  // namespace mp3
