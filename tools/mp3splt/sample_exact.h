// Frame mode made sample-exact for gapless players: the cut keeps the frames a decoder needs
// before the start (bit reservoir, filterbank overlap; one more where that lines mpg123's
// synthesis ring up with the source's decode) and its LAME tag's encoder delay and padding trim
// the decoded cut to exactly the source's samples from A to B.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/mp3.h"
#include "tools/common/frame_copier.h"

namespace mp3splt {

class SampleExactCut {
 public:
  // The plan for the stretch [startMs, endMs) of the source's gapless decode, whose first
  // sample is startMs * rate / 1000 (rounded down, as is the end). nullopt when the stream
  // cannot carry a LAME tag (Layers I and II) or the start lies within the decoder delay of
  // a source without one; `why` then says so.
  static std::optional<SampleExactCut> Plan(const mp3::MainStreamResult& file, int64_t startMs, int64_t endMs,
                                            std::string& why);

  // Copies the frames of the plan (of the file's stream); false on a read or write error (the
  // copier tells which). The copier must have an information frame to take the LAME tag.
  bool Copy(mp3::ByteSource& source, const mp3::MainStreamResult& file, toolcommon::FrameCopier& copier);

  // After Copy.
  bool Empty() const { return framesCopied_ == 0 || plan_.endRaw <= plan_.firstRaw; }
  bool StartsAtFirstFrame() const { return firstFrame_ == 0; }
  bool EndsAtLastFrame() const { return reachedEnd_; }
  // False when the bit reservoir reached further back than the delay field can hold: the
  // first granules may then decode differently from the source (the length is exact).
  bool StartIsSampleExact() const { return startSampleExact_; }
  int EncoderDelay() const { return plan_.EncoderDelay(firstFrame_); }
  int EncoderPadding() const { return padding_; }
  int64_t Samples() const { return plan_.endRaw - plan_.firstRaw; }
  mp3::LameFields LameFields() const;
  double PlayedMs() const;  // Samples() in milliseconds
  std::string Describe() const;

 private:
  // The frames before the first exact one, the latest kLeadRing of them: more than the delay
  // field can ever reach back.
  static constexpr size_t kLeadRing = 16;
  static_assert((mp3::kMaxEncoderDelay + mp3::kDecoderDelay) / mp3::kGranuleSamples + 2 <= kLeadRing);

  bool StartAt(mp3::ByteSource& source, const mp3::ScanEvent& exactFrame, toolcommon::FrameCopier& copier);
  size_t RingAlignedLead(const std::vector<mp3::PrimingFrame>& before, size_t lead) const;
  void FinishAtStreamEnd(size_t frames);

  mp3::SampleExactPlan plan_;
  std::optional<mp3::LameTag> sourceLame_;
  int sampleRate_ = 0;
  mp3::ScanEvent lead_[kLeadRing];
  size_t firstFrame_ = 0;
  uint64_t framesCopied_ = 0;
  bool reachedEnd_ = false;
  bool startSampleExact_ = true;
  int padding_ = 0;
};

}  // namespace mp3splt
