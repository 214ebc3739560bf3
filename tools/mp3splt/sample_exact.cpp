#include "tools/mp3splt/sample_exact.h"

#include <algorithm>
#include <vector>

namespace mp3splt {

std::optional<SampleExactCut> SampleExactCut::Plan(const mp3::MainStreamResult& file, int64_t startMs, int64_t endMs,
                                                   std::string& why) {
  const mp3::FrameHeader& stream = file.stream.header;
  if (stream.layer != mp3::Layer::III) {
    why = "Layer I and II streams carry no encoder delay and padding";
    return std::nullopt;
  }
  SampleExactCut cut;
  if (file.layout.info) cut.sourceLame_ = file.layout.info->lame;
  cut.sampleRate_ = stream.sampleRate;
  // Where the source's own gapless decode starts in its raw decoder output.
  const int64_t begin = mp3::GaplessBegin(cut.sourceLame_);
  const int64_t firstRaw = mp3::MsToSamples(startMs, stream.sampleRate) + begin;
  const int64_t endRaw = mp3::MsToSamples(endMs, stream.sampleRate) + begin;
  if (firstRaw < mp3::kDecoderDelay) {
    // A gapless decoder always drops the decoder delay of a cut with a LAME tag; this source
    // has none, so its first samples cannot be reached that way.
    why = "the source has no encoder delay field and the cut starts within its first " +
          std::to_string(mp3::kDecoderDelay) + " samples";
    return std::nullopt;
  }
  cut.plan_ = mp3::PlanSampleExact(firstRaw, endRaw, stream.SamplesPerFrame());
  // From the very start the source's own delay stays, as the frames before it do.
  if (startMs == 0) cut.plan_.firstExactFrame = 0;
  return cut;
}

bool SampleExactCut::Copy(mp3::ByteSource& source, const mp3::MainStreamResult& file, toolcommon::FrameCopier& copier) {
  mp3::FrameScanner scanner(source, file.layout.firstAudioFrameOffset, file.layout.audioEnd);
  mp3::ScanEvent event;
  size_t index = 0;
  while (scanner.Next(event)) {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) return false;
    if (event.kind != mp3::ScanEvent::Kind::Frame || !mp3::SameStream(event.header, file.stream.header)) continue;
    if (index >= plan_.endFrame) {
      padding_ = plan_.EncoderPadding();
      return true;
    }
    if (index < plan_.firstExactFrame) {
      lead_[index % kLeadRing] = event;
    } else {
      if (index == plan_.firstExactFrame && !StartAt(source, event, copier)) return false;
      if (!copier.CopyFrame(event)) return false;
      ++framesCopied_;
    }
    ++index;
  }
  FinishAtStreamEnd(index);
  return true;
}

namespace {

mp3::PrimingFrame PrimingFrameAt(mp3::ByteSource& source, const mp3::ScanEvent& frame) {
  uint8_t head[mp3::kPrimingBytes];
  const size_t got = source.ReadAt(frame.offset, head, sizeof head);
  return mp3::PrimingFrameOf(frame.header, mp3::ByteView(head, got), frame.size);
}

}  // namespace

// Keeps the frames before the first exact one that hold its bit reservoir, as far back as the
// delay field reaches.
bool SampleExactCut::StartAt(mp3::ByteSource& source, const mp3::ScanEvent& exactFrame,
                             toolcommon::FrameCopier& copier) {
  const size_t exact = plan_.firstExactFrame;
  const size_t reachable = std::min(kLeadRing, exact - std::min(exact, plan_.earliestFirstFrame));
  std::vector<mp3::PrimingFrame> before;  // exact - reachable .. exact - 1
  for (size_t back = reachable; back >= 1; --back)
    before.push_back(PrimingFrameAt(source, lead_[(exact - back) % kLeadRing]));
  std::vector<int> capacities;
  for (auto frame = before.rbegin(); frame != before.rend(); ++frame) capacities.push_back(frame->capacity);
  const std::optional<size_t> needed =
      mp3::ReservoirFrames(PrimingFrameAt(source, exactFrame).mainDataBegin, capacities);
  // Running out of frames at the start of the stream is no loss: the source's own decode
  // lacked that reservoir just the same.
  const size_t lead = needed ? RingAlignedLead(before, *needed) : reachable;
  startSampleExact_ = needed.has_value() || lead == exact;
  firstFrame_ = exact - lead;
  for (size_t frame = firstFrame_; frame < exact; ++frame) {
    if (!copier.CopyFrame(lead_[frame % kLeadRing])) return false;
    ++framesCopied_;
  }
  return true;
}

// The fewest lead frames from `lead` on after which a decoder of the mpg123 family stands at the
// ring position it has at the first exact frame in the source, or failing that, the nearest
// one its SIMD forms cannot tell apart (see gapless.h). `before` ends with the frame before the
// first exact one.
size_t SampleExactCut::RingAlignedLead(const std::vector<mp3::PrimingFrame>& before, size_t lead) const {
  const size_t exact = plan_.firstExactFrame;
  const int spf = plan_.samplesPerFrame;
  const int64_t inSource = mp3::SynthesisedBefore(int64_t(exact), mp3::GaplessBegin(sourceLame_), spf, {});
  size_t best = lead;
  int bestAlignment = -1;
  for (size_t candidate = lead; candidate <= before.size(); ++candidate) {
    const int64_t cutBegin = plan_.firstRaw - int64_t(exact - candidate) * spf;
    const std::vector<mp3::PrimingFrame> kept(before.end() - std::ptrdiff_t(candidate), before.end());
    const int alignment =
        mp3::RingAlignment(mp3::SynthesisedBefore(int64_t(candidate), cutBegin, spf, kept), inSource, spf);
    if (alignment > bestAlignment) {
      best = candidate;
      bestAlignment = alignment;
    }
  }
  return best;
}

// The stream ended before the planned end frame (or right at it): when the stretch reaches
// the end of the source's decode, the source's own padding stays.
void SampleExactCut::FinishAtStreamEnd(size_t frames) {
  reachedEnd_ = framesCopied_ > 0;
  const mp3::GaplessWindow window = mp3::GaplessWindowOf(int64_t(frames) * plan_.samplesPerFrame, sourceLame_);
  if (plan_.endRaw < window.end) {
    padding_ = plan_.EncoderPadding();
    return;
  }
  plan_.endRaw = window.end;
  plan_.endFrame = frames;
  padding_ = sourceLame_ ? sourceLame_->encoderPadding : mp3::kDecoderDelay;
}

mp3::LameFields SampleExactCut::LameFields() const {
  // A source without a LAME tag leaves the builder's default encoder name: players look for
  // the delay and padding fields behind it.
  mp3::LameFields fields;
  if (sourceLame_) {
    fields.encoder = sourceLame_->encoder;
    fields.vbrMethod = sourceLame_->vbrMethod;
  }
  fields.encoderDelay = EncoderDelay();
  fields.encoderPadding = EncoderPadding();
  return fields;
}

double SampleExactCut::PlayedMs() const { return sampleRate_ > 0 ? double(Samples()) * 1000.0 / sampleRate_ : 0; }

std::string SampleExactCut::Describe() const {
  std::string text = "gapless players: " + std::to_string(Samples()) + " samples (encoder delay " +
                     std::to_string(EncoderDelay()) + ", padding " + std::to_string(EncoderPadding()) + ")";
  if (!startSampleExact_)
    text +=
        "\nnote: the bit reservoir reaches further back than the encoder delay field can hold: the start is "
        "frame-exact rather than sample-exact (the length is exact)";
  return text;
}

}  // namespace mp3splt
