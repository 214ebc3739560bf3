#include "tools/mp3val/stream_check.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "tools/common/joined_text.h"

namespace mp3val {

namespace {

constexpr size_t kDetailsPerKind = 20;
// A file whose MPEG frames fill less than this share of the space between its tags is not
// taken for an MP3 file with some damage but for something else that happens to contain
// a few frame-like bytes; "repairing" it would throw most of it away.
constexpr uint64_t kMinAudioShareDivisor = 10;

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string StreamName(const mp3::FrameHeader& header) {
  const char* layer = header.layer == mp3::Layer::I ? "I" : header.layer == mp3::Layer::II ? "II" : "III";
  return toolcommon::Joined(
      {mp3::VersionName(header.version), " Layer ", layer, " ", std::to_string(header.sampleRate), " Hz"});
}

void Record(StreamCheck& check, ProblemKind kind, uint64_t offset, uint64_t size, std::string detail = {}) {
  uint64_t& count = check.counts[static_cast<int>(kind)];
  if (count < kDetailsPerKind) check.problems.push_back(Problem{kind, offset, size, std::move(detail)});
  ++count;
}

// Tags found in a stretch the scanner skipped: an ID3v2 tag past the start of the file or
// an ID3v1 tag before its end. What remains of the stretch is garbage.
void SortSkipped(mp3::ByteSource& source, StreamCheck& check, mp3::ByteRange range, ProblemKind garbageKind) {
  while (range.size > 0) {
    uint8_t head[mp3::kId3v2HeaderSize] = {};
    size_t got = source.ReadAt(range.offset, head, sizeof head);
    std::optional<mp3::Id3v2Header> id3v2 = mp3::ParseId3v2Header(mp3::ByteView(head, got));
    if (id3v2 && id3v2->TotalSize() <= range.size) {
      mp3::ByteRange tag{range.offset, id3v2->TotalSize()};
      check.strayId3v2.push_back(tag);
      Record(check, ProblemKind::MisplacedTag, tag.offset, tag.size, "ID3v2 tag not at the start");
      range = {tag.End(), range.size - tag.size};
      continue;
    }
    if (range.size >= static_cast<uint64_t>(mp3::kId3v1Size)) {
      // Read once: the tag readers look at the window many times.
      uint8_t bytes[mp3::kId3v1Size];
      mp3::MemorySource window(mp3::ByteView(bytes, source.ReadAt(range.offset, bytes, sizeof bytes)));
      mp3::TailTags tags = mp3::FindTailTags(window);
      if (tags.tags.size() == 1 && tags.tags[0].kind == mp3::TagKind::Id3v1 && tags.audioEnd == 0) {
        bool endHasOne = false;
        for (const mp3::TagInfo& tag : check.layout.tail.tags) endHasOne |= tag.kind == mp3::TagKind::Id3v1;
        mp3::ByteRange tag{range.offset, static_cast<uint64_t>(mp3::kId3v1Size)};
        if (!endHasOne && !check.strayId3v1) {
          check.strayId3v1 = tag;
          Record(check, ProblemKind::MisplacedTag, tag.offset, tag.size, "ID3v1 tag not at the end");
        } else {
          Record(check, ProblemKind::MisplacedTag, tag.offset, tag.size,
                 "second ID3v1 tag not at the end (dropped: the file has one at its end)");
        }
        range = {tag.End(), range.size - tag.size};
        continue;
      }
    }
    Record(check, garbageKind, range.offset, range.size);
    return;
  }
}

bool BytesCountAgrees(uint64_t stated, const StreamCheck& check) {
  uint64_t stream = check.bytesKept + check.layout.infoFrameRange.size;
  // Writers count either the frames from the information frame on, or the whole file from
  // its start (ID3v2 included); both describe a sound file.
  return stated == stream || stated == stream + check.layout.id3v2Size;
}

void CheckInfoFrame(StreamCheck& check) {
  const mp3::InfoFrame& info = *check.layout.info;
  const mp3::ByteRange& where = check.layout.infoFrameRange;
  std::string actual = "the stream has " + std::to_string(check.framesKept) + " frames, " +
                       std::to_string(check.bytesKept + where.size) + " bytes";
  if (info.xing) {
    const mp3::XingInfo& xing = *info.xing;
    bool framesWrong = xing.frames && *xing.frames != check.framesKept;
    bool bytesWrong = xing.bytes && !BytesCountAgrees(*xing.bytes, check);
    if (framesWrong || bytesWrong) {
      std::string stated = std::string(xing.isInfo ? "Info" : "Xing") + " header states " +
                           (xing.frames ? std::to_string(*xing.frames) : std::string("?")) + " frames, " +
                           (xing.bytes ? std::to_string(*xing.bytes) : std::string("?")) + " bytes";
      Record(check, ProblemKind::InfoFrame, where.offset, where.size, stated + "; " + actual);
    }
    if (info.lame && !info.lame->tagCrcValid)
      Record(check, ProblemKind::InfoFrame, where.offset, where.size, "LAME tag with a wrong checksum");
  } else if (info.vbri) {
    if (info.vbri->frames != check.framesKept || !BytesCountAgrees(info.vbri->bytes, check)) {
      Record(check, ProblemKind::InfoFrame, where.offset, where.size,
             "VBRI header states " + std::to_string(info.vbri->frames) + " frames, " +
                 std::to_string(info.vbri->bytes) + " bytes; " + actual);
    }
  }
}

}  // namespace

uint64_t StreamCheck::Total() const {
  uint64_t total = 0;
  for (uint64_t count : counts) total += count;
  return total;
}

namespace {

enum class CrcVerdict { Holds, Fails, Unreadable };

// A frame without a CRC field holds by definition. `held`: the frame's bytes where the caller
// has them already, else empty (they are read into `buffer`).
CrcVerdict JudgeCrc(mp3::ByteSource& source, const mp3::ScanEvent& frame, mp3::ByteView held,
                    std::vector<uint8_t>& buffer) {
  if (!frame.header.hasCrc) return CrcVerdict::Holds;
  mp3::ByteView bytes = held;
  if (bytes.size != frame.size) {
    if (frame.size > buffer.size()) buffer.resize(static_cast<size_t>(frame.size));
    const size_t size = static_cast<size_t>(frame.size);
    if (!mp3::ReadExact(source, frame.offset, buffer.data(), size)) return CrcVerdict::Unreadable;
    bytes = mp3::ByteView(buffer.data(), size);
  }
  return mp3::CheckFrameCrc(frame.header, bytes) == mp3::CrcStatus::Mismatch ? CrcVerdict::Fails : CrcVerdict::Holds;
}

// What the check makes of one stream's frames were it the file's stream, which is known only
// when the pass is over: its kept frames and bad CRCs, and all of its frames, which are
// foreign to any other stream.
struct StreamFrames {
  mp3::FrameHeader header;  // its first frame's
  uint64_t framesKept = 0;
  uint64_t bytesKept = 0;
  uint64_t badCrc = 0;
  std::vector<mp3::ByteRange> badCrcShown;  // the first few
  uint64_t frames = 0;                      // its information frame included
  std::vector<mp3::ByteRange> framesShown;  // the first few
  std::vector<mp3::ScanEvent> kept;         // while the file's frames are listed
  bool unreadable = false;                  // a frame whose CRC could not be read
};

void Remember(std::vector<mp3::ByteRange>& shown, const mp3::ScanEvent& frame) {
  if (shown.size() == kDetailsPerKind) return;
  if (shown.empty()) shown.reserve(kDetailsPerKind);  // once, not grown by doubling
  shown.push_back({frame.offset, frame.size});
}

// The check's look at every event of the pass that finds the file's stream.
class CheckPass : public mp3::ScanObserver {
 public:
  CheckPass(mp3::ByteSource& source, StreamCheck& check) : source_(source), check_(check) {}

  void Started(const mp3::StreamLayout& layout) override { check_.layout = layout; }

  void Seen(const mp3::ScanEvent& event, size_t stream, bool infoFrame, mp3::ByteView bytes) override {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) return;
    if (event.kind == mp3::ScanEvent::Kind::Skipped) {
      if (!seenFrame_) {
        SortSkipped(source_, check_, {event.offset, event.size}, ProblemKind::LeadingGarbage);
        return;
      }
      if (pendingSkip_) SortSkipped(source_, check_, *pendingSkip_, ProblemKind::Garbage);
      pendingSkip_ = mp3::ByteRange{event.offset, event.size};
      return;
    }
    if (pendingSkip_) SortSkipped(source_, check_, *pendingSkip_, ProblemKind::Garbage);
    pendingSkip_.reset();
    if (event.kind == mp3::ScanEvent::Kind::Truncated) {
      Record(check_, ProblemKind::TruncatedFrame, event.offset, event.size);
      lastStream_ = kNoStream;
      return;
    }
    seenFrame_ = true;
    if (stream >= streams_.size()) streams_.resize(stream + 1);
    StreamFrames& frames = streams_[stream];
    if (frames.frames++ == 0) frames.header = event.header;
    Remember(frames.framesShown, event);
    // Foreign to every other stream; to its own, an information frame is neither kept nor
    // dropped, and the copy's last frame stays the one before.
    lastStream_ = infoFrame ? kNoStream : stream;
    lastKept_ = false;
    if (infoFrame) return;
    switch (JudgeCrc(source_, event, bytes, buffer_)) {
      case CrcVerdict::Holds:
        ++frames.framesKept;
        frames.bytesKept += event.size;
        lastKept_ = true;
        List(frames, event);
        break;
      case CrcVerdict::Fails:
        ++frames.badCrc;
        Remember(frames.badCrcShown, event);
        break;
      case CrcVerdict::Unreadable: frames.unreadable = true; break;
    }
  }

  // After the pass, with the file's stream known: false when one of its frames could not be read.
  bool Finish(const mp3::MainStreamResult& file) {
    if (pendingSkip_) SortSkipped(source_, check_, *pendingSkip_, ProblemKind::TrailingGarbage);
    check_.streamHeader = file.stream.header;
    const size_t main = file.streamNumber;
    if (main >= streams_.size()) return true;  // no audio frame: not an MP3 file
    const StreamFrames& own = streams_[main];
    if (own.unreadable) return false;
    check_.framesKept = own.framesKept;
    check_.bytesKept = own.bytesKept;
    check_.lastFrameDropped = !(lastStream_ == main && lastKept_);
    check_.keptFramesListed = listing_;
    if (listing_) check_.keptFrames = std::move(streams_[main].kept);
    std::vector<Problem>& problems = check_.problems;
    for (const mp3::ByteRange& frame : own.badCrcShown)
      problems.push_back(Problem{ProblemKind::BadCrc, frame.offset, frame.size, {}});
    check_.counts[static_cast<int>(ProblemKind::BadCrc)] += own.badCrc;
    std::vector<Problem> foreign;
    for (size_t other = 0; other < streams_.size(); ++other) {
      if (other == main) continue;
      const std::string name = StreamName(streams_[other].header);
      for (const mp3::ByteRange& frame : streams_[other].framesShown)
        foreign.push_back(Problem{ProblemKind::ForeignFrame, frame.offset, frame.size, name});
      check_.counts[static_cast<int>(ProblemKind::ForeignFrame)] += streams_[other].frames;
    }
    auto earlier = [](const Problem& a, const Problem& b) { return a.offset < b.offset; };
    // The first few foreign frames of the file, whichever streams they belong to.
    std::sort(foreign.begin(), foreign.end(), earlier);
    if (foreign.size() > kDetailsPerKind) foreign.resize(kDetailsPerKind);
    problems.insert(problems.end(), std::make_move_iterator(foreign.begin()), std::make_move_iterator(foreign.end()));
    // In file order, as a reader of the report meets them.
    std::stable_sort(problems.begin(), problems.end(), earlier);
    return true;
  }

 private:
  // Lists a kept frame of its stream, until the file turns out to hold too many to list.
  void List(StreamFrames& frames, const mp3::ScanEvent& event) {
    if (!listing_) return;
    if (++listed_ > StreamCheck::kMaxListedFrames) {
      listing_ = false;
      for (StreamFrames& stream : streams_) std::vector<mp3::ScanEvent>().swap(stream.kept);
      return;
    }
    // The file's first stream is as a rule its own: room for as many frames as the first frames
    // promise, made once rather than grown by doubling (beyond it the list grows as any other).
    if (frames.kept.empty() && &frames == &streams_.front())
      frames.kept.reserve(size_t(std::min<uint64_t>(StreamCheck::kMaxListedFrames, check_.layout.estimatedFrames + 1)));
    frames.kept.push_back(event);
  }

  mp3::ByteSource& source_;
  StreamCheck& check_;
  std::vector<StreamFrames> streams_;
  bool listing_ = true;
  size_t listed_ = 0;
  std::vector<uint8_t> buffer_;
  bool seenFrame_ = false;
  std::optional<mp3::ByteRange> pendingSkip_;  // garbage or trailing garbage: the next event tells
  // The last frame or truncated frame met, and whether it was kept, for the copy's last frame.
  size_t lastStream_ = kNoStream;
  bool lastKept_ = false;
};

}  // namespace

FrameFilter::FrameFilter(mp3::ByteSource& source, const mp3::StreamLayout& layout, const mp3::FrameHeader& stream)
    : source_(source), layout_(layout), streamHeader_(stream) {}

FrameFilter::Verdict FrameFilter::Judge(const mp3::ScanEvent& frame, mp3::ByteView held) {
  if (layout_.info && frame.offset == layout_.infoFrameRange.offset) return Verdict::InfoFrame;
  if (!mp3::SameStream(streamHeader_, frame.header)) return Verdict::Foreign;
  switch (JudgeCrc(source_, frame, held, frameBytes_)) {
    case CrcVerdict::Holds: return Verdict::Keep;
    case CrcVerdict::Fails: return Verdict::BadCrc;
    case CrcVerdict::Unreadable: break;
  }
  return Verdict::Unreadable;
}

CheckStatus CheckStream(mp3::ByteSource& source, StreamCheck& check) {
  // One pass both finds the file's stream and looks at every frame.
  CheckPass pass(source, check);
  mp3::MainStreamResult file = mp3::FindMainStream(source, {}, {}, &pass);
  check.layout = std::move(file.layout);  // the rest of the check needs only file.stream
  switch (file.status) {
    case mp3::Status::Ok: break;
    case mp3::Status::Empty: return CheckStatus::Empty;
    case mp3::Status::NoAudio: return CheckStatus::NotMp3;
    case mp3::Status::ReadError: return CheckStatus::ReadError;
  }
  if (!pass.Finish(file)) return CheckStatus::ReadError;
  const mp3::StreamLayout& layout = check.layout;
  uint64_t region = layout.audioEnd - layout.audioStart;
  if (check.framesKept == 0 || check.bytesKept < region / kMinAudioShareDivisor) return CheckStatus::NotMp3;
  if (layout.info) CheckInfoFrame(check);
  return CheckStatus::Ok;
}

const char* ProblemKindName(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::LeadingGarbage: return "garbage before the first frame";
    case ProblemKind::Garbage: return "garbage between frames";
    case ProblemKind::TrailingGarbage: return "garbage after the last frame";
    case ProblemKind::TruncatedFrame: return "truncated last frame";
    case ProblemKind::BadCrc: return "frame with a wrong CRC";
    case ProblemKind::ForeignFrame: return "frame of another stream";
    case ProblemKind::InfoFrame: return "information frame disagrees with the stream";
    case ProblemKind::MisplacedTag: return "tag in the wrong place";
  }
  return "problem";
}

std::string DescribeProblem(const Problem& problem) {
  return toolcommon::Joined({ProblemKindName(problem.kind), " at offset ", Hex(problem.offset), " (",
                             std::to_string(problem.size), " bytes)", problem.detail.empty() ? "" : ": ",
                             problem.detail});
}

}  // namespace mp3val
