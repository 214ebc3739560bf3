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
  // The player plays every decoded sample, so its times count from the first one; a gapless
  // decoder of the source plays only this window of them.
  const mp3::GaplessWindow played =
      mp3::GaplessWindowOf(int64_t(file.stream.frames) * stream.SamplesPerFrame(), cut.sourceLame_);
  const int64_t firstRaw = std::max(mp3::MsToSamples(startMs, stream.sampleRate), played.begin);
  const int64_t endRaw = std::min(mp3::MsToSamples(endMs, stream.sampleRate), played.end);
  if (firstRaw < mp3::kDecoderDelay) {
    // A gapless decoder always drops the decoder delay of a cut with a LAME tag; this source
    // has none, so its first samples cannot be reached that way.
    why = "the source has no encoder delay field and the cut starts within its first " +
          std::to_string(mp3::kDecoderDelay) + " samples";
    return std::nullopt;
  }
  cut.plan_ = mp3::PlanSampleExact(firstRaw, endRaw, stream.SamplesPerFrame());
  // From the first sample played on, the source's own delay stays, as the frames before it do.
  if (firstRaw == played.begin) {
    cut.plan_.firstExactFrame = 0;
    cut.plan_.firstExactGranule = 0;
  }
  return cut;
}

bool SampleExactCut::Copy(mp3::ByteSource& source, const mp3::MainStreamResult& file, toolcommon::FrameCopier& copier) {
  mp3::FrameScanner scanner(source, file.layout.firstAudioFrameOffset, file.layout.audioEnd, SmallStepScan());
  mp3::ScanEvent event;
  size_t index = 0;
  while (scanner.Next(event)) {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) return false;
    if (event.kind != mp3::ScanEvent::Kind::Frame || !mp3::SameStream(event.header, file.stream.header)) continue;
    if (index >= plan_.endFrame) {
      padding_ = plan_.EncoderPadding();
      return !firstPending_ || WriteStart(source, copier, nullptr);
    }
    if (index < plan_.firstExactFrame) {
      // Only the last frames before the first one can hold its reservoir.
      if (index + kLeadRing >= plan_.firstExactFrame) lead_[index % kLeadRing] = event;
    } else if (index == plan_.firstExactFrame) {
      first_ = event;
      firstPending_ = true;
    } else {
      if (firstPending_ && !WriteStart(source, copier, &event)) return false;
      if (!copier.CopyFrame(event, scanner.Buffered(event.offset, event.size))) return false;
      ++framesCopied_;
    }
    ++index;
  }
  if (firstPending_ && !WriteStart(source, copier, nullptr)) return false;
  FinishAtStreamEnd(index);
  return true;
}

namespace {

std::vector<uint8_t> ReadFrame(mp3::ByteSource& source, const mp3::ScanEvent& frame) {
  std::vector<uint8_t> bytes(size_t(frame.size));
  bytes.resize(source.ReadAt(frame.offset, bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace

// The last `bytes` bytes of main data the frames before the first one hold (fewer at the start
// of the stream), oldest first.
std::vector<uint8_t> SampleExactCut::ReservoirBefore(mp3::ByteSource& source, size_t bytes) const {
  const size_t first = plan_.firstExactFrame;
  std::vector<uint8_t> reservoir;
  for (size_t back = 1; back <= std::min(first, kLeadRing) && reservoir.size() < bytes; ++back) {
    const mp3::ScanEvent& frame = lead_[(first - back) % kLeadRing];
    const std::vector<uint8_t> bytesOfFrame = ReadFrame(source, frame);
    const size_t areaAt = std::min(bytesOfFrame.size(), size_t(frame.header.DataOffset()));
    reservoir.insert(reservoir.begin(), bytesOfFrame.begin() + std::ptrdiff_t(areaAt), bytesOfFrame.end());
  }
  if (reservoir.size() > bytes) reservoir.erase(reservoir.begin(), reservoir.end() - std::ptrdiff_t(bytes));
  return reservoir;
}

bool SampleExactCut::WriteStart(mp3::ByteSource& source, toolcommon::FrameCopier& copier, const mp3::ScanEvent* next) {
  firstPending_ = false;
  const std::vector<uint8_t> frame = ReadFrame(source, first_);
  if (frame.size() != first_.size) return false;
  const std::vector<uint8_t> reservoir = ReservoirBefore(source, size_t(mp3::MaxMainDataBegin(first_.header.version)));
  std::optional<int> nextBegin;
  if (next) nextBegin = mp3::MainDataBegin(next->header, ReadFrame(source, *next));
  // Where the exact decode starts with the frame's second granule, the first one only leads in.
  const bool firstGranuleNeeded =
      plan_.firstExactGranule * mp3::kGranuleSamples <= int64_t(plan_.firstExactFrame) * plan_.samplesPerFrame;
  const std::optional<mp3::SelfContainedStart> start =
      mp3::MakeSelfContainedStart(first_.header, frame, reservoir, nextBegin, firstGranuleNeeded);
  if (!start) {
    // A reservoir the stream's start cuts short is no loss: the source's own decode lacked it
    // just the same. Otherwise the frame is damaged and goes as it stands.
    const int begin = mp3::MainDataBegin(first_.header, frame).value_or(0);
    startSampleExact_ = plan_.firstExactFrame <= kLeadRing && size_t(begin) > reservoir.size();
    if (!copier.CopyFrame(first_)) return false;
    ++framesCopied_;
    return true;
  }
  for (const std::vector<uint8_t>& written : start->frames) {
    const std::optional<mp3::FrameHeader> header = mp3::ParseFrameHeader(mp3::ByteView(written));
    if (!header || !copier.WriteFrame(*header, written)) return false;
    ++framesCopied_;
  }
  emptyLeadFrames_ = start->emptyLeadFrames;
  return true;
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
        "\nnote: the first frame's main data could not be moved out of the bit reservoir (a damaged frame): the "
        "start is frame-exact rather than sample-exact (the length is exact)";
  return text;
}

}  // namespace mp3splt
