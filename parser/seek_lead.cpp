// Where delivery starts after a seek. A Layer III decoder that starts at the frame holding the
// target has neither that frame's bit reservoir nor the overlap and synthesis history of the
// granules before it: its first output is silence and then tens of milliseconds of damaged
// audio. Delivery therefore starts early enough that the decoder's output from the target
// frame on equals what continuous playback gives.
#include <algorithm>
#include <vector>

#include "mp3/gapless.h"
#include "parser_filter.h"

namespace clipvane_parser {
namespace {

// MPEG-1's 9-bit main_data_begin reaches at most this many bytes back.
constexpr int kLargestReservoir = 511;

mp3::PrimingFrame ReadPrimingFrame(const StreamData &stream, size_t frame) {
  uint8_t head[mp3::kPrimingBytes] = {};
  const uint64_t size = stream.index.FrameSize(frame);
  const LONG wanted = static_cast<LONG>(std::min<uint64_t>(sizeof head, size));
  if (stream.reader->SyncRead(static_cast<LONGLONG>(stream.index.FrameOffset(frame)), wanted, head) != S_OK) return {};
  const mp3::ByteView bytes(head, static_cast<size_t>(wanted));
  const std::optional<mp3::FrameHeader> header = mp3::ParseFrameHeader(bytes);
  return header ? mp3::PrimingFrameOf(*header, bytes, size) : mp3::PrimingFrame{};
}

// The earliest frame that holds part of `frame`'s main data: 0 when the stream starts too soon
// for all of it (the stream's own start lacks it just the same).
size_t ReservoirStart(const StreamData &stream, size_t frame) {
  const int reach = ReadPrimingFrame(stream, frame).mainDataBegin;
  std::vector<int> capacities;  // nearest first
  int held = 0;
  for (size_t back = frame; back > 0 && held < std::min(reach, kLargestReservoir); --back) {
    capacities.push_back(ReadPrimingFrame(stream, back - 1).capacity);
    held += capacities.back();
  }
  const std::optional<size_t> frames = mp3::ReservoirFrames(reach, capacities);
  return frames ? frame - *frames : 0;
}

}  // namespace

size_t SeekLeadStart(const StreamData &stream, size_t target) {
  if (stream.index.StreamHeader().layer != mp3::Layer::III) return target;
  const int spf = stream.index.SamplesPerFrame();
  const int64_t first = stream.index.FrameStartSample(target);
  const size_t exact = mp3::PlanSampleExact(first, first, spf).firstExactFrame;
  size_t lead = exact;
  for (size_t frame = exact; frame <= target; ++frame) lead = std::min(lead, ReservoirStart(stream, frame));
  return lead;
}

}  // namespace clipvane_parser
