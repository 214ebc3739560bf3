// What a gapless decoder makes of a Layer III stream, and how to choose the frames, encoder
// delay and padding of a cut so that such a decoder plays exactly a given stretch of the
// source's samples.
//
// Raw samples are the decoder output of every frame of a stream, nothing trimmed: frame f
// yields raw samples [f * spf, (f + 1) * spf). A gapless decoder (one that honours the LAME
// tag, such as mpg123) plays the raw samples [delay + kDecoderDelay, frames * spf - padding +
// kDecoderDelay); without a LAME tag it plays them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "mp3/vbr_header.h"

namespace mp3 {

// The delay of the decoder's filterbanks (hybrid MDCT and polyphase synthesis), which gapless
// decoders add to the encoder delay of the LAME tag.
constexpr int kDecoderDelay = 529;
constexpr int kGranuleSamples = 576;

// The raw samples [begin, end) a gapless decoder plays of a stream of `rawSamples` samples.
struct GaplessWindow {
  int64_t begin = 0;
  int64_t end = 0;
};
GaplessWindow GaplessWindowOf(int64_t rawSamples, const std::optional<LameTag>& lame);
// Its begin alone, for a stream of any length.
int64_t GaplessBegin(const std::optional<LameTag>& lame);

// Frames to keep and fields to write so that a gapless decoder of the cut plays exactly the
// source's raw samples [firstRaw, endRaw).
struct SampleExactPlan {
  int64_t firstRaw = 0;
  int64_t endRaw = 0;
  int samplesPerFrame = 0;
  // The first frame that must decode as it does in the source: the sample at firstRaw needs
  // the synthesis filter's previous slots and the MDCT overlap of the granule before them.
  size_t firstExactFrame = 0;
  // The earliest frame a cut may start with: an earlier one needs more delay than the
  // 12-bit field holds.
  size_t earliestFirstFrame = 0;
  size_t endFrame = 0;  // one past the last frame to keep

  // Fields for a cut of the source's frames [firstFrame, endFrame): the delay is negative
  // when firstRaw lies within the decoder delay of firstFrame (no field can say that).
  int EncoderDelay(size_t firstFrame) const;
  int EncoderPadding() const;
};
SampleExactPlan PlanSampleExact(int64_t firstRaw, int64_t endRaw, int samplesPerFrame);

// How many of the frames before a frame must be kept for its main data to be there: the
// main-data capacities of the frames before it, nearest first. nullopt when all of them
// together hold less than `mainDataBegin` bytes.
std::optional<size_t> ReservoirFrames(int mainDataBegin, const std::vector<int>& capacitiesNearestFirst);

}  // namespace mp3
