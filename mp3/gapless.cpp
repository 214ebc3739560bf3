#include "mp3/gapless.h"

#include <algorithm>

#include "mp3/side_info.h"

namespace mp3 {
namespace {

// The polyphase synthesis turns each slot of 32 subband samples into 32 output samples from
// a window over 16 slots: the current one and 15 before it. One spare slot is counted.
constexpr int64_t kSlotSamples = 32;
constexpr int64_t kSynthesisSlotsBefore = kSynthesisRingSlots;
constexpr int64_t kSlotsPerGranule = kGranuleSamples / kSlotSamples;

int64_t CeilDiv(int64_t value, int64_t by) { return value <= 0 ? 0 : (value + by - 1) / by; }

}  // namespace

int64_t GaplessBegin(const std::optional<LameTag>& lame) { return lame ? lame->encoderDelay + kDecoderDelay : 0; }

GaplessWindow GaplessWindowOf(int64_t rawSamples, const std::optional<LameTag>& lame) {
  if (!lame) return {0, rawSamples};
  GaplessWindow window{GaplessBegin(lame), rawSamples - lame->encoderPadding + kDecoderDelay};
  window.end = std::min(window.end, rawSamples);
  window.begin = std::min(window.begin, window.end);
  return window;
}

SampleExactPlan PlanSampleExact(int64_t firstRaw, int64_t endRaw, int samplesPerFrame) {
  SampleExactPlan plan;
  plan.firstRaw = firstRaw;
  plan.endRaw = endRaw;
  plan.samplesPerFrame = samplesPerFrame;
  // The subband samples of a granule are its own MDCT output plus the overlap of the granule
  // before: the first granule that must decode exactly is the one before the synthesis
  // window's earliest slot.
  const int64_t earliestSlot = firstRaw / kSlotSamples - kSynthesisSlotsBefore;
  const int64_t exactGranule = earliestSlot < 0 ? 0 : std::max<int64_t>(0, earliestSlot / kSlotsPerGranule - 1);
  plan.firstExactGranule = exactGranule;
  plan.firstExactFrame = size_t(exactGranule * kGranuleSamples / samplesPerFrame);
  plan.earliestFirstFrame = size_t(CeilDiv(firstRaw - kDecoderDelay - kMaxEncoderDelay, samplesPerFrame));
  plan.endFrame = size_t(CeilDiv(endRaw, samplesPerFrame));
  return plan;
}

int SampleExactPlan::EncoderDelay(size_t firstFrame) const {
  return int(firstRaw - int64_t(firstFrame) * samplesPerFrame - kDecoderDelay);
}

int SampleExactPlan::EncoderPadding() const {
  return int(int64_t(endFrame) * samplesPerFrame + kDecoderDelay - endRaw);
}

PrimingFrame PrimingFrameOf(const FrameHeader& header, ByteView bytes, uint64_t frameSize) {
  return {MainDataBegin(header, bytes).value_or(0), MainDataCapacity(header, frameSize),
          LengthLeftAfterZeroing(header, bytes).value_or(0)};
}

int64_t SynthesisedBefore(int64_t target, int64_t begin, int samplesPerFrame, const std::vector<PrimingFrame>& first) {
  const int64_t decodedFrom = std::max<int64_t>(0, begin / samplesPerFrame - kPrimingFrames);
  int64_t synthesised = std::max<int64_t>(0, target - decodedFrom);
  int held = 0;
  for (int64_t frame = decodedFrom; frame < target && frame < int64_t(first.size()); ++frame) {
    const PrimingFrame& primed = first[size_t(frame)];
    if (primed.mainDataBegin > held && primed.lengthLeft > (held + primed.capacity) * 8) --synthesised;
    // The decoder caps its count at the most main_data_begin can say: no frame lacks more.
    held += primed.capacity;
  }
  return synthesised;
}

int RingAlignment(int64_t framesA, int64_t framesB, int samplesPerFrame) {
  int64_t slots = (framesA - framesB) * (samplesPerFrame / kSlotSamples) % kSynthesisRingSlots;
  if (slots < 0) slots += kSynthesisRingSlots;
  int alignment = 0;
  for (int64_t block = 1; block < kSynthesisRingSlots && slots % (2 * block) == 0; block *= 2) ++alignment;
  return alignment;
}

std::optional<size_t> ReservoirFrames(int mainDataBegin, const std::vector<int>& capacitiesNearestFirst) {
  int64_t held = 0;
  for (size_t count = 0;; ++count) {
    if (held >= mainDataBegin) return count;
    if (count == capacitiesNearestFirst.size()) return std::nullopt;
    held += capacitiesNearestFirst[count];
  }
}

}  // namespace mp3
