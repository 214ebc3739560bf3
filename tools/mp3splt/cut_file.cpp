#include "tools/mp3splt/cut_file.h"

#include <cmath>
#include <cstdio>

#include "mp3/mp3.h"
#include "tools/common/file_system.h"
#include "tools/common/frame_copier.h"
#include "tools/common/temp_output.h"
#include "tools/common/tool_messages.h"
#include "tools/mp3splt/sample_exact.h"

namespace mp3splt {

namespace {

const char kTool[] = "mp3splt";
constexpr double kUnitsPerMs = 10000.0;

int Fail(ExitCode code, const std::string& message) {
  toolcommon::PrintError(kTool, message);
  return code;
}

// What the chosen frames were, besides the frames themselves.
struct Selection {
  bool startsAtFirstFrame = false;  // the cut begins with the input's first audio frame
  bool endsAtLastFrame = false;     // the cut ends with the input's last audio frame
  double durationMs = 0;
};

// Frame mode where no LAME tag can trim the cut (see sample_exact.h): every frame whose middle
// lies in [start, end) is taken. That makes the cut points the frame boundaries nearest to
// the two times (a boundary is nearest exactly when the frame after it has its middle past
// the time), and it needs no look-back: one pass that stops at the end time.
bool CopyFramesByTime(mp3::ByteSource& source, const mp3::MainStreamResult& file, const SplitRequest& request,
                      toolcommon::FrameCopier& copier, Selection& selection) {
  const mp3::StreamLayout& layout = file.layout;
  mp3::FrameScanner scanner(source, layout.firstAudioFrameOffset, layout.audioEnd, SmallStepScan());
  mp3::ScanEvent event;
  double elapsedMs = 0;
  bool lastWasTaken = false;
  bool reachedEnd = true;
  while (scanner.Next(event)) {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) return false;
    if (event.kind != mp3::ScanEvent::Kind::Frame || !mp3::SameStream(event.header, file.stream.header)) continue;
    if (elapsedMs >= static_cast<double>(request.endMs)) {
      reachedEnd = false;
      break;
    }
    double frameMs = event.header.SamplesPerFrame() * 1000.0 / event.header.sampleRate;
    double middleMs = elapsedMs + frameMs / 2;
    lastWasTaken = middleMs >= static_cast<double>(request.startMs) && middleMs < static_cast<double>(request.endMs);
    if (lastWasTaken) {
      if (copier.FramesWritten() == 0) selection.startsAtFirstFrame = event.offset == layout.firstAudioFrameOffset;
      if (!copier.CopyFrame(event, scanner.Buffered(event.offset, event.size))) return false;
      selection.durationMs += frameMs;
    }
    elapsedMs += frameMs;
  }
  selection.endsAtLastFrame = reachedEnd && lastWasTaken;
  return true;
}

// Frame mode for gapless players: see sample_exact.h.
bool CopyFramesSampleExact(mp3::ByteSource& source, const mp3::MainStreamResult& file, SampleExactCut& cut,
                           toolcommon::FrameCopier& copier, Selection& selection) {
  if (!cut.Copy(source, file, copier)) return false;
  selection.startsAtFirstFrame = cut.StartsAtFirstFrame();
  selection.endsAtLastFrame = cut.EndsAtLastFrame();
  return true;
}

double DurationMs(const mp3::StreamLayout& layout) { return layout.estimatedDurationUnits / kUnitsPerMs; }

// A Xing table of contents describes the stream its frame count covers; one that covers
// less (the first of two joined files) would place every later time wrongly.
bool TocCoversStream(const mp3::MainStreamResult& file) {
  const mp3::InfoFrame* info = file.layout.info ? &*file.layout.info : nullptr;
  return info && info->xing && info->xing->toc && info->xing->frames && *info->xing->frames == file.stream.frames;
}

// Bitrate mode: where in the file the given time lies, by the Xing table of contents when
// it covers the whole stream, else by the stream's real average bitrate (its bytes over its
// duration, both counted frame by frame: neither the first header nor a partial Xing frame).
uint64_t EstimateOffset(const mp3::MainStreamResult& file, int64_t timeMs) {
  const mp3::StreamLayout& layout = file.layout;
  double durationMs = DurationMs(layout);
  if (durationMs <= 0 || timeMs >= durationMs) return layout.audioEnd;
  double fraction = timeMs / durationMs;
  uint64_t offset;
  const mp3::InfoFrame* info = layout.info ? &*layout.info : nullptr;
  if (TocCoversStream(file)) {
    const mp3::Toc& toc = *info->xing->toc;
    double percent = fraction * 100;
    size_t index = static_cast<size_t>(percent);
    if (index > 99) index = 99;
    double below = toc[index];
    double above = index < 99 ? toc[index + 1] : 256.0;
    double position = (below + (above - below) * (percent - index)) / 256.0;
    uint64_t streamBytes = info->xing->bytes ? *info->xing->bytes : layout.audioEnd - layout.infoFrameRange.offset;
    offset = layout.infoFrameRange.offset + static_cast<uint64_t>(position * streamBytes);
  } else {
    offset = layout.firstAudioFrameOffset + static_cast<uint64_t>(fraction * file.stream.bytes);
  }
  if (offset < layout.firstAudioFrameOffset) offset = layout.firstAudioFrameOffset;
  if (offset > layout.audioEnd) offset = layout.audioEnd;
  return offset;
}

// Bitrate mode: from the first frame at or after the estimated start up to the last frame
// that begins before the estimated end.
bool CopyFramesByEstimate(mp3::ByteSource& source, const mp3::MainStreamResult& file, const SplitRequest& request,
                          toolcommon::FrameCopier& copier, Selection& selection) {
  const mp3::StreamLayout& layout = file.layout;
  uint64_t begin = EstimateOffset(file, request.startMs);
  uint64_t end = EstimateOffset(file, request.endMs);
  mp3::FrameScanner scanner(source, begin, layout.audioEnd, SmallStepScan());
  mp3::ScanEvent event;
  bool reachedEnd = true;
  while (scanner.Next(event)) {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) return false;
    if (event.kind != mp3::ScanEvent::Kind::Frame || !mp3::SameStream(event.header, file.stream.header)) continue;
    if (event.offset >= end) {
      reachedEnd = false;
      break;
    }
    if (copier.FramesWritten() == 0) selection.startsAtFirstFrame = event.offset == layout.firstAudioFrameOffset;
    if (!copier.CopyFrame(event, scanner.Buffered(event.offset, event.size))) return false;
    selection.durationMs += event.header.SamplesPerFrame() * 1000.0 / event.header.sampleRate;
  }
  selection.endsAtLastFrame = reachedEnd && copier.FramesWritten() > 0;
  return true;
}

// The LAME tag of the cut (a sample-exact cut says its own). Its encoder delay is the silence the encoder put before
// the first sample of the original, so it belongs to the cut only when the cut starts with the original's first frame;
// a later cut starts in the middle of the music and says 0 (the decoder's own delay, which players add by themselves,
// remains). Likewise the padding the encoder appended is kept only when the cut ends with the original's last frame.
std::optional<mp3::LameFields> LameFieldsFor(const mp3::StreamLayout& layout, const Selection& selection,
                                             const std::optional<SampleExactCut>& exact) {
  if (exact) return exact->LameFields();
  if (!layout.info || !layout.info->lame) return std::nullopt;
  const mp3::LameTag& original = *layout.info->lame;
  mp3::LameFields fields;
  fields.encoder = original.encoder;
  fields.vbrMethod = original.vbrMethod;
  fields.encoderDelay = selection.startsAtFirstFrame ? original.encoderDelay : 0;
  fields.encoderPadding = selection.endsAtLastFrame ? original.encoderPadding : 0;
  return fields;
}

std::optional<uint32_t> QualityOf(const mp3::StreamLayout& layout) {
  if (!layout.info || !layout.info->xing) return std::nullopt;
  return layout.info->xing->quality;
}

// The folder as a path that can be looked at: a bare drive ("D:") names that drive's root
// here, not its current folder.
std::string FolderForChecks(const std::string& folder) {
  if (folder.empty()) return ".";
#ifdef _WIN32
  if (folder.size() == 2 && folder[1] == ':') return folder + "\\";
#endif
  return folder;
}

// Free-format frames are told apart by the distance to the next header, so the frames around
// one decide its length: next to other frames than in the source, a header-like word in its
// data can split or join frames. Such a cut is read back as any reader would read it.
bool ReadsBackAsWritten(toolcommon::TempOutput& output, const toolcommon::FrameCopier& copier) {
  if (!output.Finish()) return false;
  std::FILE* file = toolcommon::OpenForReading(output.Path());
  if (!file) return false;
  toolcommon::FileCloser closer(file);
  mp3::FileSource source(file);
  const mp3::MainStreamResult cut = mp3::FindMainStream(source);
  return cut.ok() && cut.foreignFrames == 0 && cut.stream.frames == copier.FramesWritten() &&
         cut.stream.bytes == copier.AudioBytesWritten();
}

std::string DescribeDuration(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
  return text;
}

}  // namespace

int CutFile(const SplitRequest& request) {
  using toolcommon::PathKind;
  PathKind inputKind = toolcommon::GetPathKind(request.input);
  if (inputKind == PathKind::Missing) return Fail(kExitBadInput, "cannot find the input file '" + request.input + "'");
  if (inputKind == PathKind::Directory)
    return Fail(kExitBadInput, "'" + request.input + "' is a folder, not an MP3 file");
  // A pipe or device would block the open or never end: only plain files are cut.
  if (inputKind != PathKind::File) return Fail(kExitBadInput, "'" + request.input + "' is not a plain file");
  toolcommon::InputFile source;
  if (!source.Open(request.input))
    return Fail(kExitBadInput, "cannot open '" + request.input + "': " + toolcommon::SystemErrorText());

  // Telling the stream needs a few frames at the start of the audio and a sample of windows
  // over the rest.
  mp3::MainStreamResult input = mp3::FindMainStream(source, SmallStepScan());
  switch (input.status) {
    case mp3::Status::Ok: break;
    case mp3::Status::Empty: return Fail(kExitBadInput, "the input file '" + request.input + "' is empty");
    case mp3::Status::NoAudio:
      return Fail(kExitBadInput, "'" + request.input + "' is not an MP3 file (no MPEG audio frames found)");
    case mp3::Status::ReadError: return Fail(kExitBadInput, "cannot read '" + request.input + "'");
  }
  const mp3::StreamLayout& layout = input.layout;

  PathKind folderKind = toolcommon::GetPathKind(FolderForChecks(request.folder));
  if (folderKind == PathKind::Missing)
    return Fail(kExitNotWritten, "the output folder '" + request.folder + "' does not exist");
  if (folderKind != PathKind::Directory) return Fail(kExitNotWritten, "'" + request.folder + "' is not a folder");
  std::string outputPath = toolcommon::JoinPath(request.folder, request.name + ".mp3");
  if (toolcommon::GetPathKind(outputPath) == PathKind::Directory)
    return Fail(kExitNotWritten, "'" + outputPath + "' is a folder");
  if (toolcommon::SameFile(outputPath, request.input))
    return Fail(kExitNotWritten, "the output '" + outputPath + "' is the input file itself; choose another name");

  toolcommon::TempOutput output;
  if (!output.Create(request.folder, request.name + ".mp3"))
    return Fail(kExitNotWritten, "cannot write in the folder '" + request.folder + "': " + output.Error());
  toolcommon::FrameCopier copier(output, source);
  const int lengthDigits = static_cast<int>(std::to_string(static_cast<int64_t>(DurationMs(layout)) + 1).size());
  for (const mp3::TagInfo& tag : layout.leadingTags) {
    if (!copier.CopyLeadingTag(tag, lengthDigits)) return Fail(kExitNotWritten, copier.Error());
  }
  std::string notSampleExact;
  std::optional<SampleExactCut> exact;
  if (request.frameMode) exact = SampleExactCut::Plan(input, request.startMs, request.endMs, notSampleExact);
  bool withLame = (layout.info && layout.info->lame) || exact;
  if (!copier.ReserveInfoFrame(input.stream.header, withLame, QualityOf(layout).has_value()))
    return Fail(kExitNotWritten, copier.Error());
  if (exact && !copier.HasInfoFrame()) {
    notSampleExact = "this stream (free format) gets no information frame for an encoder delay and padding";
    exact.reset();
  }

  Selection selection;
  bool copied = exact               ? CopyFramesSampleExact(source, input, *exact, copier, selection)
                : request.frameMode ? CopyFramesByTime(source, input, request, copier, selection)
                                    : CopyFramesByEstimate(source, input, request, copier, selection);
  if (!copied) {
    const std::string& why = copier.Error().empty() ? std::string("cannot read the input file") : copier.Error();
    return Fail(copier.Error().empty() ? kExitBadInput : kExitNotWritten, why);
  }
  // What was written, which the copier may have made one frame shorter than what was chosen.
  const mp3::FrameHeader& stream = input.stream.header;
  selection.durationMs = copier.FramesWritten() * stream.SamplesPerFrame() * 1000.0 / stream.sampleRate;
  // A sample-exact cut lasts, for the players that honour its LAME tag, exactly its stretch.
  if (exact) selection.durationMs = exact->PlayedMs();
  if (copier.FramesWritten() == 0 || (exact && exact->Empty())) {
    double durationMs = DurationMs(layout);
    if (static_cast<double>(request.startMs) >= durationMs)
      return Fail(kExitBadInput, "the start " + FormatCutTime(request.startMs) + " lies beyond the end of the file (" +
                                     FormatCutTime(static_cast<int64_t>(durationMs)) + ")");
    return Fail(kExitBadInput, "no whole frame lies between " + FormatCutTime(request.startMs) + " and " +
                                   FormatCutTime(request.endMs) + "; choose a longer stretch");
  }
  // A lone free-format frame has no next frame to tell its length: no reader could find it.
  if (copier.FramesWritten() == 1 && input.stream.header.FreeFormat())
    return Fail(kExitBadInput, "only one free-format frame lies between " + FormatCutTime(request.startMs) + " and " +
                                   FormatCutTime(request.endMs) +
                                   ", which no player can read alone; choose a longer stretch");
  if (!copier.EndFramesUnmistakably(layout.tail.tags)) return Fail(kExitNotWritten, copier.Error());
  for (const mp3::TagInfo& tag : layout.tail.tags) {
    if (!copier.CopyRange(tag.range)) return Fail(kExitNotWritten, copier.Error());
  }
  if (!copier.FinishInfoFrame(LameFieldsFor(layout, selection, exact), QualityOf(layout)) ||
      !copier.FinishLengthFrames(std::llround(selection.durationMs)))
    return Fail(kExitNotWritten, copier.Error());
  if (input.stream.header.FreeFormat() && !ReadsBackAsWritten(output, copier)) {
    if (!output.Error().empty()) return Fail(kExitNotWritten, "cannot write '" + outputPath + "': " + output.Error());
    return Fail(kExitBadInput, "the free-format frames between " + FormatCutTime(request.startMs) + " and " +
                                   FormatCutTime(request.endMs) +
                                   " would not read back as the frames written (their data holds what reads as "
                                   "a frame header); choose another stretch");
  }
  if (!output.CommitAs(outputPath))
    return Fail(kExitNotWritten, "cannot write '" + outputPath + "': " + output.Error());

  toolcommon::PrintLine("wrote " + outputPath + ": " + std::to_string(copier.FramesWritten()) + " frames, " +
                        DescribeDuration(selection.durationMs));
  if (exact)
    toolcommon::PrintLine(exact->Describe());
  else if (request.frameMode)
    toolcommon::PrintLine("note: " + notSampleExact + ": the cut is frame-exact, not sample-exact");
  return kExitWritten;
}

int RunMp3splt(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    toolcommon::PrintLine(kSplitUsage);
    return kExitWritten;
  }
  std::string error;
  std::optional<SplitRequest> request = ParseSplitArguments(args, error);
  if (!request) {
    toolcommon::PrintError(kTool, error);
    toolcommon::PrintError(kTool, std::string("\n") + kSplitUsage);
    return kExitBadArguments;
  }
  return CutFile(*request);
}

}  // namespace mp3splt
