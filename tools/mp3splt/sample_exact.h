// Frame mode made sample-exact for gapless players: the cut starts with the frame whose granule
// the first sample's filterbank overlap and synthesis history begin in, rewritten so that it
// carries its bit-reservoir bytes itself (mp3/main_data.h), and its LAME tag's encoder delay and
// padding trim the decoded cut to exactly the source's samples from A to B.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/mp3.h"
#include "tools/common/frame_copier.h"

namespace mp3splt {

// The splitter's scanners read in the smallest steps the scanner takes (64 kB): the buffer
// stays in the processor's cache while the frames are looked at and copied, and a short cut
// reads little more than itself.
inline mp3::ScanOptions SmallStepScan() {
  mp3::ScanOptions options;
  options.bufferSize = 0;
  return options;
}

class SampleExactCut {
 public:
  // The plan for the stretch [startMs, endMs) of a plain decode of the source (every sample
  // of every frame: the player's timeline), whose first sample is startMs * rate / 1000
  // (rounded down, as is the end), within what the source's gapless decode plays: an earlier
  // start is its first sample, a later end its last. nullopt when the stream cannot carry a
  // LAME tag (Layers I and II) or the start lies within the decoder delay of a source without
  // one; `why` then says so.
  static std::optional<SampleExactCut> Plan(const mp3::MainStreamResult& file, int64_t startMs, int64_t endMs,
                                            std::string& why);

  // Copies the frames of the plan (of the file's stream); false on a read or write error (the
  // copier tells which). The copier must have an information frame to take the LAME tag.
  bool Copy(mp3::ByteSource& source, const mp3::MainStreamResult& file, toolcommon::FrameCopier& copier);

  // After Copy.
  bool Empty() const { return framesCopied_ == 0 || plan_.endRaw <= plan_.firstRaw; }
  bool StartsAtFirstFrame() const { return plan_.firstExactFrame == 0; }
  bool EndsAtLastFrame() const { return reachedEnd_; }
  // False when the first frame's main data could not be moved out of the reservoir (a damaged
  // frame): its granules may then decode differently from the source (the length is exact).
  bool StartIsSampleExact() const { return startSampleExact_; }
  // A frame of empty granules in front (mp3::SelfContainedStart) is lead like any other.
  int EncoderDelay() const {
    return plan_.EncoderDelay(plan_.firstExactFrame) + emptyLeadFrames_ * plan_.samplesPerFrame;
  }
  int EncoderPadding() const { return padding_; }
  int64_t Samples() const { return plan_.endRaw - plan_.firstRaw; }
  mp3::LameFields LameFields() const;
  double PlayedMs() const;  // Samples() in milliseconds
  std::string Describe() const;

 private:
  // The frames before the first one, the latest kLeadRing of them: their main-data areas hold
  // more than main_data_begin can reach back (511 bytes; the smallest frames hold 59).
  static constexpr size_t kLeadRing = 16;

  // Writes the first frame, made independent of the frames before it; `next` is the frame
  // that follows it in the cut (nullptr when none does), whose reservoir it must carry.
  bool WriteStart(mp3::ByteSource& source, toolcommon::FrameCopier& copier, const mp3::ScanEvent* next);
  std::vector<uint8_t> ReservoirBefore(mp3::ByteSource& source, size_t bytes) const;
  void FinishAtStreamEnd(size_t frames);

  mp3::SampleExactPlan plan_;
  std::optional<mp3::LameTag> sourceLame_;
  int sampleRate_ = 0;
  mp3::ScanEvent lead_[kLeadRing];
  mp3::ScanEvent first_;
  bool firstPending_ = false;
  int emptyLeadFrames_ = 0;
  uint64_t framesCopied_ = 0;
  bool reachedEnd_ = false;
  bool startSampleExact_ = true;
  int padding_ = 0;
};

}  // namespace mp3splt
