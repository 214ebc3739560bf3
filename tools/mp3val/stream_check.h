// The examination of an MP3 file: everything that makes players and parsers reject or
// mis-time it, and the plan for a repaired copy. One streaming pass; memory does not grow
// with the file (problems beyond a few per kind are only counted).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/mp3.h"

namespace mp3val {

enum class ProblemKind {
  LeadingGarbage,   // bytes before the first frame
  Garbage,          // bytes between frames
  TrailingGarbage,  // bytes after the last frame, before the tail tags
  TruncatedFrame,   // the last frame is cut short
  BadCrc,           // a frame whose CRC does not match
  ForeignFrame,     // a frame of another stream (version, layer or rate differ)
  InfoFrame,        // Xing/Info/VBRI counts that disagree with the frames, or a damaged LAME tag
  MisplacedTag,     // an ID3v2 tag after the start or an ID3v1 tag before the end
};
constexpr int kProblemKinds = 8;

struct Problem {
  ProblemKind kind;
  uint64_t offset = 0;
  uint64_t size = 0;
  std::string detail;
};

struct StreamCheck {
  mp3::StreamLayout layout;
  mp3::FrameHeader streamHeader;  // the stream the copy keeps: the one holding most of the audio
  uint64_t framesKept = 0;        // audio frames a repaired copy holds
  uint64_t bytesKept = 0;         // their bytes
  bool lastFrameDropped = false;  // the copy ends earlier than the original's last frame
  // The frames the copy keeps, in file order, as the check met them, so that the copy need not
  // find them again; only for files of at most kMaxListedFrames frames, which keeps the
  // memory bounded (keptFramesListed tells; a longer file's copy scans it again).
  static constexpr size_t kMaxListedFrames = 1024;
  std::vector<mp3::ScanEvent> keptFrames;
  bool keptFramesListed = false;

  std::vector<Problem> problems;  // the first few of each kind
  uint64_t counts[kProblemKinds] = {};
  uint64_t Total() const;

  std::vector<mp3::ByteRange> strayId3v2;    // misplaced ID3v2 tags, moved to the start
  std::optional<mp3::ByteRange> strayId3v1;  // misplaced ID3v1 tag, moved to the end
};

enum class CheckStatus { Ok, Empty, NotMp3, ReadError };

// Decides frame by frame what the repaired copy keeps: audio frames of the stream whose CRC
// (where they carry one) holds. The check decides the same, by the same CRC rule, for every
// stream at once, as the file's stream is known only at the end of its pass.
class FrameFilter {
 public:
  // `stream`: the file's stream (mp3::FindMainStream); frames of others are foreign.
  FrameFilter(mp3::ByteSource& source, const mp3::StreamLayout& layout, const mp3::FrameHeader& stream);
  enum class Verdict { InfoFrame, Keep, BadCrc, Foreign, Unreadable };
  // `held`: the frame's bytes where the caller has them (the scanner's buffer), else empty.
  Verdict Judge(const mp3::ScanEvent& frame, mp3::ByteView held = {});

 private:
  mp3::ByteSource& source_;
  const mp3::StreamLayout& layout_;
  std::vector<uint8_t> frameBytes_;
  mp3::FrameHeader streamHeader_;
};

CheckStatus CheckStream(mp3::ByteSource& source, StreamCheck& check);

std::string DescribeProblem(const Problem& problem);
const char* ProblemKindName(ProblemKind kind);

}  // namespace mp3val
