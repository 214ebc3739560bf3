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

  uint64_t firstFrameOffset = 0;     // first confirmed frame (possibly the information frame)
  FrameHeader firstHeader;
  uint64_t leadingGarbage = 0;       // bytes between audioStart and firstFrameOffset

  std::optional<InfoFrame> info;     // when the first frame is a Xing/Info/VBRI frame
  ByteRange infoFrameRange;          // its bytes (size 0 without one)

  uint64_t firstAudioFrameOffset = 0;  // first frame that is audio (after any info frame)

  // Cheap estimate before indexing: from the Xing/VBRI frame count when present, else from
  // the audio bytes and the first audio frame's bitrate.
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

}  // namespace mp3
