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

#include "mp3/frame_header.h"
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
  // The granule of the stream (counted from 0) in that frame from which on the decode must be
  // exact: an earlier granule of the frame only needs to be there.
  int64_t firstExactGranule = 0;
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

// Decoders of the mpg123 family synthesise through a ring of 16 slots of 32 samples, whose
// position each slot advances, and sum each output sample in an order that follows the ring
// position: a few samples round one step apart between positions. Their SIMD forms sum in
// blocks of 4 or 8 slots, and only the position within a block matters to them.
// Such a decoder starts decoding kPrimingFrames before the frame that holds the first sample it
// plays, counts reservoir bytes from there, and decodes a frame that lacks them as silence,
// synthesised like any other, except when the length left in its zeroed side information
// (LengthLeftAfterZeroing) exceeds the bits it holds: then it drops the frame unsynthesised.
// A cut decodes sample for sample like its source when the decoder has synthesised as many
// slots, mod 16 (mod its block), before the cut's first exact frame as before the same frame
// of the source.
constexpr int kPrimingFrames = 4;
constexpr int kSynthesisRingSlots = 16;

// A frame as that decoder's reservoir count sees it.
struct PrimingFrame {
  int mainDataBegin = 0;
  int capacity = 0;    // MainDataCapacity
  int lengthLeft = 0;  // LengthLeftAfterZeroing
};
// `bytes` holds at least the frame's header, CRC field and two bytes of side information.
PrimingFrame PrimingFrameOf(const FrameHeader& header, ByteView bytes, uint64_t frameSize);
constexpr size_t kPrimingBytes = kHeaderSize + kCrcFieldSize + 2;

// How many frames such a decoder synthesises before frame `target` of a stream whose gapless
// play begins at raw sample `begin`. `first` describes the stream's frames from its start;
// frames past them count as synthesised (their reservoir is there).
int64_t SynthesisedBefore(int64_t target, int64_t begin, int samplesPerFrame, const std::vector<PrimingFrame>& first);
// How alike the ring positions of two decodes that synthesised these many frames are: 4 when
// they are the same, 3 when they differ by 8 slots, 2 by 4, 1 by 2, 0 by an odd count.
int RingAlignment(int64_t framesA, int64_t framesB, int samplesPerFrame);

// How many of the frames before a frame must be kept for its main data to be there: the
// main-data capacities of the frames before it, nearest first. nullopt when all of them
// together hold less than `mainDataBegin` bytes.
std::optional<size_t> ReservoirFrames(int mainDataBegin, const std::vector<int>& capacitiesNearestFirst);

}  // namespace mp3
