// The layout of an MP3 file in one call, and the library's result codes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mp3/byte_source.h"
#include "mp3/frame_header.h"
#include "mp3/scanner.h"
#include "mp3/tags.h"
#include "mp3/vbr_header.h"

namespace mp3 {

enum class Status : uint8_t {
  Ok,
  Empty,      // zero bytes
  NoAudio,    // no confirmed MPEG audio frame (not an MP3 file, or only tags)
  ReadError,  // the source delivered fewer bytes than its size promised
};
const char* StatusText(Status status);

struct StreamLayout {
  uint64_t fileSize = 0;
  std::vector<TagInfo> leadingTags;  // ID3v2 tags at the start
  uint64_t id3v2Size = 0;            // bytes of all leading tags
  TailTags tail;                     // tags at the end; tail.audioEnd ends the audio region
  uint64_t audioStart = 0;           // first byte after the leading tags
  uint64_t audioEnd = 0;             // == tail.audioEnd

  uint64_t firstFrameOffset = 0;  // first confirmed frame (possibly the information frame)
  FrameHeader firstHeader;
  uint64_t leadingGarbage = 0;  // bytes between audioStart and firstFrameOffset

  std::optional<InfoFrame> info;  // when the first frame is a Xing/Info/VBRI frame
  ByteRange infoFrameRange;       // its bytes (size 0 without one)

  uint64_t firstAudioFrameOffset = 0;  // first frame that is audio (after any info frame)

  // Cheap estimate before indexing: from the Xing/VBRI frame count when present, else from
  // the audio bytes and the first audio frame's bitrate. Exact counts of the file's stream
  // once AdoptStream has been applied (the frame index, FindMainStream).
  uint64_t estimatedFrames = 0;
  int64_t estimatedDurationUnits = 0;  // 100-ns units
  bool estimatedFromHeader = false;    // frame count came from Xing/VBRI
};

struct AnalyzeResult {
  Status status = Status::Ok;
  StreamLayout layout;
  bool ok() const { return status == Status::Ok; }
};

// Reads the tags at both ends and the first confirmed frame(s); never reads the whole
// audio. Status NoAudio/Empty/ReadError leave the tag fields filled as far as found.
AnalyzeResult AnalyzeStream(ByteSource& source, const ScanOptions& options = {});

// One stream of a file (frames of one version, layer and sample rate) as counted so far.
struct StreamSummary {
  FrameHeader header;             // its first audio frame's header
  uint64_t frames = 0;            // audio frames, an opening information frame excluded
  uint64_t bytes = 0;             // their bytes
  uint64_t firstFrameOffset = 0;  // its first audio frame
  std::optional<InfoFrame> info;  // the information frame that opens it, if any
  ByteRange infoFrameRange;
  int64_t DurationUnits() const;  // 100-ns units
};

// A file may hold frames of several streams (a jingle of another sample rate spliced in
// front, a stretch of another recording in the middle). Its stream is the one holding the
// most audio bytes: the recording the user means, and the one every part of the program
// plays, times, cuts and repairs; the frames of the others are skipped. An information
// frame counts only as the first frame of its stream.
class StreamTally {
 public:
  static constexpr size_t kInfoFrame = SIZE_MAX;
  // Counts a Frame event; returns its stream's number (in order of appearance), or
  // kInfoFrame when the frame is an information frame opening its stream. `held`: the frame's
  // bytes where the caller has them (the scanner's buffer), else empty: then a stream's first
  // frame is read from the source.
  size_t Add(ByteSource& source, const ScanEvent& frame, ByteView held = {});
  bool Empty() const { return streams_.empty(); }
  size_t Streams() const { return streams_.size(); }
  size_t MainStream() const;  // the stream with most bytes; the earliest of equals
  const StreamSummary& Stream(size_t number) const { return streams_[number]; }
  uint64_t TotalFrames() const;

 private:
  std::vector<StreamSummary> streams_;
};

struct MainStreamResult {
  Status status = Status::Ok;
  StreamLayout layout;  // AdoptStream applied
  StreamSummary stream;
  size_t streamNumber = 0;  // among the file's streams in order of appearance (a counted pass)
  uint64_t foreignFrames = 0;
  bool ok() const { return status == Status::Ok; }
};

// The layout as it holds for `stream`: its information frame (or none, when the file's first
// one belongs to another stream), its first audio frame, and exact counts for the estimate.
void AdoptStream(StreamLayout& layout, const StreamSummary& stream);

// When FindMainStream may take the file's stream from its information frame and a sample of
// the audio instead of counting every frame: the Xing frame's byte count must reach exactly
// to the end of the audio, and every window, the first and the last included, must hold
// nothing but frames of that one stream that follow each other (the last one ending where the
// audio ends). Anything else (a second stream, garbage, a damaged or missing count) is
// counted frame by frame, as are files small enough for the windows to cover most of them.
struct StreamSampling {
  bool enabled = true;
  int windows = 16;                          // spread evenly, the first at the first audio frame, the last at the end
  uint64_t windowBytes = 32 * 1024;          // bytes of frames each window looks at
  uint64_t minAudioBytes = 4 * 1024 * 1024;  // smaller audio regions are counted whole
  static StreamSampling WholeFile() {
    StreamSampling never;
    never.enabled = false;
    return never;
  }
};

// Sees the events of FindMainStream's pass over the audio region, every one of them in order,
// so that a caller that looks at each frame needs no second pass: which stream is the file's
// is known only at the end, so each frame comes with the number of its stream (in order of
// appearance) and whether it is the information frame opening that stream.
class ScanObserver {
 public:
  static constexpr size_t kNoStream = SIZE_MAX;
  virtual ~ScanObserver() = default;
  // Before the first event: the tags at both ends and the audio region between them.
  virtual void Started(const StreamLayout& layout) { (void)layout; }
  // `stream` is kNoStream for events other than Frame. `bytes`: the event's bytes while the
  // scanner still holds them, else empty.
  virtual void Seen(const ScanEvent& event, size_t stream, bool infoFrame, ByteView bytes) = 0;
};

// AnalyzeStream, then the file's stream: from a sample where StreamSampling allows it, else
// from one pass over the audio. Status NoAudio when no audio frame was found. With an
// observer, the pass over the audio is always made, and the observer sees it (up to a read
// error).
MainStreamResult FindMainStream(ByteSource& source, const ScanOptions& options = {},
                                const StreamSampling& sampling = {}, ScanObserver* observer = nullptr);

}  // namespace mp3
