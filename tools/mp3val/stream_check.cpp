#include "tools/mp3val/stream_check.h"

#include <cstdio>

#include "tools/common/range_source.h"

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
  return std::string(mp3::VersionName(header.version)) + " Layer " +
         (header.layer == mp3::Layer::I    ? "I"
          : header.layer == mp3::Layer::II ? "II"
                                           : "III") +
         " " + std::to_string(header.sampleRate) + " Hz";
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
      toolcommon::RangeSource window(source, range.offset, mp3::kId3v1Size);
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

FrameFilter::FrameFilter(mp3::ByteSource& source, const mp3::StreamLayout& layout, const mp3::FrameHeader& stream)
    : source_(source), layout_(layout), frameBytes_(mp3::kMaxFrameLength), streamHeader_(stream) {}

FrameFilter::Verdict FrameFilter::Judge(const mp3::ScanEvent& frame) {
  if (layout_.info && frame.offset == layout_.infoFrameRange.offset) return Verdict::InfoFrame;
  if (!mp3::SameStream(streamHeader_, frame.header)) return Verdict::Foreign;
  if (frame.header.hasCrc) {
    if (frame.size > frameBytes_.size()) frameBytes_.resize(static_cast<size_t>(frame.size));
    size_t size = static_cast<size_t>(frame.size);
    if (!mp3::ReadExact(source_, frame.offset, frameBytes_.data(), size)) return Verdict::Unreadable;
    if (mp3::CheckFrameCrc(frame.header, mp3::ByteView(frameBytes_.data(), size)) == mp3::CrcStatus::Mismatch)
      return Verdict::BadCrc;
  }
  return Verdict::Keep;
}

CheckStatus CheckStream(mp3::ByteSource& source, StreamCheck& check) {
  mp3::MainStreamResult file = mp3::FindMainStream(source);
  check.layout = file.layout;
  switch (file.status) {
    case mp3::Status::Ok: break;
    case mp3::Status::Empty: return CheckStatus::Empty;
    case mp3::Status::NoAudio: return CheckStatus::NotMp3;
    case mp3::Status::ReadError: return CheckStatus::ReadError;
  }
  const mp3::StreamLayout& layout = check.layout;
  FrameFilter filter(source, layout, file.stream.header);
  mp3::FrameScanner scanner(source, layout.audioStart, layout.audioEnd);
  mp3::ScanEvent event;
  bool seenFrame = false;
  bool lastKept = false;
  std::optional<mp3::ByteRange> pendingSkip;  // garbage or trailing garbage: the next event tells
  while (scanner.Next(event)) {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) return CheckStatus::ReadError;
    if (event.kind == mp3::ScanEvent::Kind::Skipped) {
      if (!seenFrame) {
        SortSkipped(source, check, {event.offset, event.size}, ProblemKind::LeadingGarbage);
        continue;
      }
      if (pendingSkip) SortSkipped(source, check, *pendingSkip, ProblemKind::Garbage);
      pendingSkip = mp3::ByteRange{event.offset, event.size};
      continue;
    }
    if (pendingSkip) SortSkipped(source, check, *pendingSkip, ProblemKind::Garbage);
    pendingSkip.reset();
    if (event.kind == mp3::ScanEvent::Kind::Truncated) {
      Record(check, ProblemKind::TruncatedFrame, event.offset, event.size);
      lastKept = false;
      continue;
    }
    seenFrame = true;
    switch (filter.Judge(event)) {
      case FrameFilter::Verdict::InfoFrame: continue;
      case FrameFilter::Verdict::Keep:
        ++check.framesKept;
        check.bytesKept += event.size;
        lastKept = true;
        break;
      case FrameFilter::Verdict::BadCrc:
        Record(check, ProblemKind::BadCrc, event.offset, event.size);
        lastKept = false;
        break;
      case FrameFilter::Verdict::Foreign:
        Record(check, ProblemKind::ForeignFrame, event.offset, event.size, StreamName(event.header));
        lastKept = false;
        break;
      case FrameFilter::Verdict::Unreadable: return CheckStatus::ReadError;
    }
  }
  if (pendingSkip) SortSkipped(source, check, *pendingSkip, ProblemKind::TrailingGarbage);
  check.streamHeader = filter.StreamHeader();
  check.lastFrameDropped = !lastKept;
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
  std::string text = std::string(ProblemKindName(problem.kind)) + " at offset " + Hex(problem.offset) + " (" +
                     std::to_string(problem.size) + " bytes)";
  if (!problem.detail.empty()) text += ": " + problem.detail;
  return text;
}

}  // namespace mp3val
