#include "tools/common/frame_copier.h"

#include <algorithm>

namespace toolcommon {

namespace {
constexpr uint32_t kPaddingBit = 1u << 9;
constexpr uint32_t kBitrateIndexShift = 12;
}  // namespace

void TocSampler::Add(uint64_t frameOffset) {
  if (added_ % stride_ == 0) {
    if (samples_.size() == kMaxSamples) {
      // Keep every other sample: those at multiples of the doubled stride.
      for (size_t i = 0; i * 2 < samples_.size(); ++i) samples_[i] = samples_[i * 2];
      samples_.resize(samples_.size() / 2);
      stride_ *= 2;
    }
    if (added_ % stride_ == 0) samples_.push_back(frameOffset);
  }
  ++added_;
}

mp3::Toc TocSampler::Build(uint64_t frameCount, uint64_t leadBytes, uint64_t totalBytes) const {
  auto offsetOfFrame = [&](uint64_t frame) -> uint64_t {
    if (samples_.empty()) return leadBytes;
    size_t k = static_cast<size_t>(frame / stride_);
    if (k + 1 >= samples_.size()) return leadBytes + samples_.back();
    // Between two samples frames are taken as equally large.
    uint64_t within = frame - k * stride_;
    return leadBytes + samples_[k] + (samples_[k + 1] - samples_[k]) * within / stride_;
  };
  return mp3::BuildToc(frameCount, totalBytes, offsetOfFrame);
}

FrameCopier::FrameCopier(TempOutput& output, mp3::ByteSource& source)
    : output_(output), source_(source), reader_(source) {}

bool FrameCopier::Fail(const std::string& what) {
  error_ = what;
  return false;
}

bool FrameCopier::CopyRange(const mp3::ByteRange& range) {
  uint64_t done = 0;
  while (done < range.size) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(range.size - done, reader_.Window()));
    const uint8_t* bytes = reader_.Get(range.offset + done, piece);
    if (!bytes) return Fail("cannot read the input file");
    if (!output_.Write(bytes, piece)) return Fail(output_.Error());
    done += piece;
  }
  return true;
}

bool FrameCopier::CopyLeadingTag(const mp3::TagInfo& tag, int lengthDigits) {
  std::optional<mp3::LengthFrameRewrite> rewrite = mp3::RewriteLengthFrame(source_, tag, lengthDigits);
  if (!rewrite) return CopyRange(tag.range);
  lengthDigits_.emplace_back(output_.Size() + rewrite->lengthDigitsAt, rewrite->digits);
  for (const mp3::TagPiece& piece : rewrite->pieces) {
    if (!piece.bytes.empty() && !output_.Write(piece.bytes.data(), piece.bytes.size())) return Fail(output_.Error());
    if (piece.source.size != 0 && !CopyRange(piece.source)) return false;
  }
  return true;
}

bool FrameCopier::FinishLengthFrames(int64_t lengthMs) {
  for (const auto& [offset, digits] : lengthDigits_) {
    const std::string text = mp3::LengthDigits(lengthMs, digits);
    if (!output_.Overwrite(offset, text.data(), text.size())) return Fail(output_.Error());
  }
  return true;
}

namespace {
mp3::InfoFrameRequest MakeSpec(const mp3::FrameHeader& like, bool withLame, bool withQuality) {
  mp3::InfoFrameRequest wanted;
  wanted.like = like;
  wanted.toc = mp3::Toc{};
  if (withLame) wanted.lame = mp3::LameFields{};
  if (withQuality) wanted.quality = 0;
  return wanted;
}
}  // namespace

bool FrameCopier::ReserveInfoFrame(const mp3::FrameHeader& streamHeader, bool withLameTag, bool withQuality) {
  // Layer I/II carry no information frame; nor does free format, whose frames all have the
  // stream's own length, which no table bitrate gives.
  if (streamHeader.FreeFormat()) return true;
  std::vector<uint8_t> placeholder = mp3::BuildInfoFrame(MakeSpec(streamHeader, withLameTag, withQuality));
  if (placeholder.empty()) return true;
  streamHeader_ = streamHeader;
  withLameTag_ = withLameTag;
  withQuality_ = withQuality;
  infoOffset_ = output_.Size();
  infoSize_ = placeholder.size();
  if (!output_.Write(placeholder.data(), placeholder.size())) return Fail(output_.Error());
  infoPlaceholder_ = std::move(placeholder);
  return true;
}

bool FrameCopier::CopyFrame(const mp3::ScanEvent& frame, mp3::ByteView held) {
  const uint8_t* bytes =
      held.size == frame.size ? held.data : reader_.Get(frame.offset, static_cast<size_t>(frame.size));
  if (!bytes) return Fail("cannot read the input file");
  // An information frame met amid a stream (files joined) is a silent frame there; first in
  // an output without an information frame of its own, every reader would take it for the
  // output's. It is left out.
  if (frames_ == 0 && !HasInfoFrame() &&
      mp3::ParseInfoFrame(frame.header, mp3::ByteView(bytes, static_cast<size_t>(frame.size))))
    return true;
  return Append(frame.header, mp3::ByteView(bytes, static_cast<size_t>(frame.size)));
}

bool FrameCopier::WriteFrame(const mp3::FrameHeader& header, mp3::ByteView frame) { return Append(header, frame); }

bool FrameCopier::Append(const mp3::FrameHeader& header, mp3::ByteView frame) {
  lastOffset_ = output_.Size();
  if (!output_.Write(frame.data, frame.size)) return Fail(output_.Error());
  lastHeader_ = header;
  NoteRecent(frame.size);
  musicCrcBeforeLast_ = musicCrc_;
  toc_.Add(audioBytes_);
  if (frames_ == 0)
    firstBitrate_ = header.bitrateKbps;
  else if (header.bitrateKbps != firstBitrate_)
    constantBitrate_ = false;
  // The music checksum is the costliest step of a copy: only a LAME tag needs it.
  if (withLameTag_) musicCrc_ = mp3::LameCrc16Update(musicCrc_, frame);
  ++frames_;
  audioBytes_ += frame.size;
  return true;
}

void FrameCopier::NoteRecent(size_t frameSize) {
  if (recentHeld_ + frameSize > 2 * kRecentBytes) recentHeld_ = std::min(recentHeld_, kRecentBytes);
  recentHeld_ += frameSize;
  lastFrameSize_ = frameSize;
}

bool FrameCopier::LoadRecent() {
  recent_.resize(recentHeld_);
  if (!output_.ReadBack(lastOffset_ + lastFrameSize_ - recentHeld_, recent_.data(), recent_.size()))
    return Fail(output_.Error());
  return true;
}

namespace {

// What a reader of the output sees from its audio region on: the information frame (its
// placeholder, whose counts alone differ from the final one), the audio frames, of which only
// the latest bytes are held, and the tail tags that will follow them, read from the source.
// Reading what is not held fails, as reading a tag that is not there does.
class WrittenEnd : public mp3::ByteSource {
 public:
  WrittenEnd(const std::vector<uint8_t>& info, const std::vector<uint8_t>& recent, uint64_t frameBytes,
             mp3::ByteSource& source, const std::vector<mp3::TagInfo>& tags)
      : source_(source) {
    pieces_.reserve(3 + tags.size());
    Add(info.data(), 0, info.size());
    // The frames before the latest ones are not held: a gap.
    pieces_.push_back({nullptr, 0, frameBytes - recent.size(), false});
    size_ += frameBytes - recent.size();
    Add(recent.data(), 0, recent.size());
    audioEnd_ = size_;
    for (const mp3::TagInfo& tag : tags) Add(nullptr, tag.range.offset, tag.range.size);
  }
  uint64_t AudioEnd() const { return audioEnd_; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    size_t got = 0;
    uint64_t pieceStart = 0;
    for (const Piece& piece : pieces_) {
      const uint64_t pieceEnd = pieceStart + piece.size;
      if (got < count && offset + got >= pieceStart && offset + got < pieceEnd) {
        if (!piece.held) return got;
        const uint64_t within = offset + got - pieceStart;
        const size_t n = size_t(std::min<uint64_t>(count - got, piece.size - within));
        if (piece.bytes)
          std::copy_n(piece.bytes + within, n, buffer + got);
        else if (!mp3::ReadExact(source_, piece.sourceOffset + within, buffer + got, n))
          return got;
        got += n;
      }
      pieceStart = pieceEnd;
    }
    return got;
  }

 private:
  struct Piece {
    const uint8_t* bytes;  // null: from the source at sourceOffset
    uint64_t sourceOffset;
    uint64_t size;
    bool held;
  };
  void Add(const uint8_t* bytes, uint64_t sourceOffset, uint64_t size) {
    pieces_.push_back({bytes, sourceOffset, size, true});
    size_ += size;
  }
  mp3::ByteSource& source_;
  std::vector<Piece> pieces_;
  uint64_t size_ = 0;
  uint64_t audioEnd_ = 0;
};

}  // namespace

bool FrameCopier::EndLooksLikeATag(const std::vector<mp3::TagInfo>& tailTags) {
  // A tag's start must lie in the audio region, which begins with the information frame: a
  // signature whose tag reaches into that frame is one to a reader of the output too. The
  // tags copied after the frames count as well: a reader looks for the next tag right before
  // each one it has found.
  WrittenEnd end(infoPlaceholder_, recent_, audioBytes_, source_, tailTags);
  return mp3::FindTailTags(end, 0).audioEnd != end.AudioEnd();
}

bool FrameCopier::GrowLastFrame() {
  std::vector<uint8_t> frame(recent_.end() - std::ptrdiff_t(lastFrameSize_), recent_.end());
  std::optional<mp3::FrameHeader> grown;
  if (!lastHeader_.padding) {
    grown = mp3::ParseFrameHeader(lastHeader_.raw | kPaddingBit);
    if (grown && lastHeader_.FreeFormat()) grown->SetFreeFormatLength(lastHeader_.freeFormatLength);
  } else if (lastHeader_.layer == mp3::Layer::III && !lastHeader_.FreeFormat() && lastHeader_.bitrateIndex < 14) {
    // Layer III's main data is counted in bits from main_data_begin on: bytes after it are
    // ancillary, whatever the frame's size. (Layers I and II allocate by bitrate.)
    grown = mp3::ParseFrameHeader(lastHeader_.raw + (1u << kBitrateIndexShift));
  }
  if (!grown || grown->FrameLength() <= int(frame.size())) return false;
  const size_t added = size_t(grown->FrameLength()) - frame.size();
  frame.resize(frame.size() + added, 0);
  for (int i = 0; i < mp3::kHeaderSize; ++i) frame[size_t(i)] = uint8_t(grown->raw >> (24 - 8 * i));
  if (std::optional<uint16_t> crc = mp3::ComputeFrameCrc(*grown, mp3::ByteView(frame))) {
    frame[mp3::kHeaderSize] = uint8_t(*crc >> 8);
    frame[mp3::kHeaderSize + 1] = uint8_t(*crc);
  }
  const size_t rewritten = size_t(mp3::kHeaderSize + (grown->hasCrc ? mp3::kCrcFieldSize : 0));
  if (!output_.Overwrite(lastOffset_, frame.data(), rewritten) ||
      !output_.Write(frame.data() + frame.size() - added, added))
    return Fail(output_.Error());
  recent_.resize(recent_.size() - lastFrameSize_);
  recent_.insert(recent_.end(), frame.begin(), frame.end());
  recentHeld_ = recent_.size();
  lastFrameSize_ = frame.size();
  lastHeader_ = *grown;
  audioBytes_ += added;
  if (frames_ == 1)
    firstBitrate_ = grown->bitrateKbps;
  else if (grown->bitrateKbps != firstBitrate_)
    constantBitrate_ = false;
  if (withLameTag_) musicCrc_ = mp3::LameCrc16Update(musicCrcBeforeLast_, mp3::ByteView(frame));
  return true;
}

bool FrameCopier::EndFramesUnmistakably(const std::vector<mp3::TagInfo>& tailTags) {
  // Each step moves the end by at least one byte; a few cover any one signature.
  constexpr int kMaxSteps = 8;
  if (frames_ > 0 && !LoadRecent()) return false;
  for (int step = 0; step < kMaxSteps && frames_ > 0 && EndLooksLikeATag(tailTags); ++step)
    if (!GrowLastFrame()) break;
  if (!error_.empty()) return false;
  // A frame that cannot grow (padded already, and no larger bitrate to take) stays a tag to
  // every reader: such a cut would miscount its own frames.
  if (frames_ > 0 && EndLooksLikeATag(tailTags))
    return Fail("the cut's last frame ends in bytes that read as a tag, and it cannot be made longer");
  return true;
}

bool FrameCopier::FinishInfoFrame(std::optional<mp3::LameFields> lame, std::optional<uint32_t> quality) {
  if (!HasInfoFrame()) return true;
  if (lame.has_value() != withLameTag_ || quality.has_value() != withQuality_)
    return Fail("information frame fields differ from the reserved ones");
  if (frames_ > UINT32_MAX || audioBytes_ + infoSize_ > UINT32_MAX)
    return Fail("the output is too long for an information frame");
  mp3::InfoFrameRequest wanted;
  wanted.like = streamHeader_;
  wanted.asInfo = constantBitrate_;
  wanted.frames = static_cast<uint32_t>(frames_);
  wanted.bytes = static_cast<uint32_t>(audioBytes_);
  wanted.toc = toc_.Build(frames_, infoSize_, infoSize_ + audioBytes_);
  wanted.quality = quality;
  if (lame) {
    lame->musicLength = 0;  // filled in by the builder: information frame plus audio
    lame->musicCrc = musicCrc_;
  }
  wanted.lame = lame;
  std::vector<uint8_t> frame = mp3::BuildInfoFrame(wanted);
  if (frame.size() != infoSize_) return Fail("the information frame changed size");
  if (!output_.Overwrite(infoOffset_, frame.data(), frame.size())) return Fail(output_.Error());
  return true;
}

}  // namespace toolcommon
