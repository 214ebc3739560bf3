// Writes an MP3 stream made of pieces of another: tags copied byte for byte, a fresh
// Xing/Info information frame whose counts, TOC and LAME fields describe exactly the frames
// written, and the audio frames themselves, copied unchanged. Memory stays bounded however
// long the stream: the TOC is built from a sample of frame offsets that thins itself out.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/mp3.h"
#include "tools/common/chunk_reader.h"
#include "tools/common/temp_output.h"

namespace toolcommon {

// Frame offsets at a stride that doubles whenever the sample grows past its limit, so that
// the TOC of a stream of any length costs a few kilobytes and stays accurate to well under
// the TOC's own 1/256 resolution.
class TocSampler {
 public:
  void Add(uint64_t frameOffset);  // offset of the next frame, counted from the audio start
  // TOC over `totalBytes` bytes of which the first `leadBytes` (the information frame)
  // precede the audio; Add()ed offsets are shifted by `leadBytes`.
  mp3::Toc Build(uint64_t frameCount, uint64_t leadBytes, uint64_t totalBytes) const;

 private:
  static constexpr size_t kMaxSamples = 2048;
  std::vector<uint64_t> samples_;  // offset of frame k * stride_
  uint64_t stride_ = 1;
  uint64_t added_ = 0;
};

class FrameCopier {
 public:
  FrameCopier(TempOutput& output, mp3::ByteSource& source);

  // Copies a byte range of the source unchanged (a tag).
  bool CopyRange(const mp3::ByteRange& range);
  // Copies a leading tag; a length frame in it (ID3v2 TLEN) gets room for `lengthDigits`
  // digits, which FinishLengthFrames fills with the length of what was written.
  bool CopyLeadingTag(const mp3::TagInfo& tag, int lengthDigits);
  bool FinishLengthFrames(int64_t lengthMs);
  // Writes a placeholder information frame for a stream like `streamHeader`; its final
  // content is written by FinishInfoFrame, which must then be given a LAME tag and a
  // quality exactly when they were announced here. Writes nothing for Layer I/II streams,
  // which carry no Xing frame (HasInfoFrame() tells).
  bool ReserveInfoFrame(const mp3::FrameHeader& streamHeader, bool withLameTag, bool withQuality);
  bool HasInfoFrame() const { return infoSize_ != 0; }
  // Copies one audio frame found by the scanner (an information frame that would come first
  // in an output without one of its own is left out: FramesWritten tells). `held` is the
  // frame's bytes where the caller has them already (the scanner's buffer), else empty: then
  // they are read from the source.
  bool CopyFrame(const mp3::ScanEvent& frame, mp3::ByteView held = {});
  // Writes an audio frame made here (a rewritten one), counted like a copied one.
  bool WriteFrame(const mp3::FrameHeader& header, mp3::ByteView frame);
  // After the last audio frame, before any tail tag: where the last frames' bytes end in what
  // a reader takes for a tail tag (an APE footer, "TAG", a Lyrics3 marker), it would stop the
  // audio before them and miscount the frames. The frame then grows by its padding
  // slot (Layer III: or the next bitrate) of zeros, which no decoder reads as audio. The
  // check reads the end as it will be, followed by `tailTags` (ranges of the source, copied
  // next). False (Error() tells) when the frame cannot grow and would still read as one.
  bool EndFramesUnmistakably(const std::vector<mp3::TagInfo>& tailTags);
  // Rewrites the reserved information frame with the real counts. `lame` carries encoder
  // name, delay and padding; its lengths and CRCs are filled in here.
  bool FinishInfoFrame(std::optional<mp3::LameFields> lame, std::optional<uint32_t> quality);

  uint64_t FramesWritten() const { return frames_; }
  uint64_t AudioBytesWritten() const { return audioBytes_; }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what);
  bool Append(const mp3::FrameHeader& header, mp3::ByteView frame);
  void NoteRecent(size_t frameSize);
  bool LoadRecent();
  bool EndLooksLikeATag(const std::vector<mp3::TagInfo>& tailTags);
  bool GrowLastFrame();

  TempOutput& output_;
  mp3::ByteSource& source_;
  ChunkReader reader_;
  mp3::FrameHeader streamHeader_;
  bool withLameTag_ = false;
  bool withQuality_ = false;
  uint64_t infoOffset_ = 0;
  size_t infoSize_ = 0;
  std::vector<uint8_t> infoPlaceholder_;
  uint64_t frames_ = 0;
  uint64_t audioBytes_ = 0;
  uint16_t musicCrc_ = 0;
  uint16_t musicCrcBeforeLast_ = 0;
  mp3::FrameHeader lastHeader_;
  // The latest audio bytes written, ending with the last frame: more than any tail tag
  // signature a reader checks reaches back (a Lyrics3 v1 tag: 5 kB), and all of a short cut.
  // Only their count is kept while frames are copied (from kRecentBytes up to twice that, as
  // the frames fall); the bytes are read back from the output when the end is looked at.
  static constexpr size_t kRecentBytes = 64 * 1024;
  size_t recentHeld_ = 0;
  std::vector<uint8_t> recent_;  // the recentHeld_ bytes, once loaded
  size_t lastFrameSize_ = 0;
  uint64_t lastOffset_ = 0;
  int firstBitrate_ = 0;
  bool constantBitrate_ = true;
  TocSampler toc_;
  std::vector<std::pair<uint64_t, int>> lengthDigits_;  // output offset, digit count
  std::string error_;
};

}  // namespace toolcommon
