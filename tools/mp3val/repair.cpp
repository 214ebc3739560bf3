#include "tools/mp3val/repair.h"

#include <cstdio>
#include <optional>

#include "mp3/mp3.h"
#include "tools/common/file_system.h"
#include "tools/common/frame_copier.h"
#include "tools/common/joined_text.h"
#include "tools/common/temp_output.h"
#include "tools/common/tool_messages.h"
#include "tools/mp3val/stream_check.h"

namespace mp3val {

namespace {

const char kTool[] = "mp3val";
constexpr int kMaxBackupNumber = 999;

const char kUsage[] =
    "usage: mp3val [-f] <file.mp3>\n"
    "  Checks an MP3 file for garbage, truncated or damaged frames, a Xing/Info/VBRI header\n"
    "  that disagrees with the frames, and tags in the wrong place.\n"
    "  -f  repair the file in place; the original is kept beside it as <file>.bak\n"
    "      (<file>.1.bak, <file>.2.bak, ... when an older backup exists).\n"
    "  Exit status: 0 nothing to fix, 1 problems found (repaired with -f),\n"
    "  2 not checked or not repaired (bad arguments, unreadable or not an MP3 file).";

int Fail(const std::string& message) {
  toolcommon::PrintError(kTool, message);
  return kExitFailed;
}

std::string FileNameOf(const std::string& path) {
  std::string folder = toolcommon::FolderOf(path);
  std::string name = path.substr(folder.size());
  while (!name.empty() && (name[0] == '/' || name[0] == '\\')) name.erase(0, 1);
  return name;
}

std::optional<mp3::LameFields> LameFieldsFor(const StreamCheck& check) {
  const mp3::StreamLayout& layout = check.layout;
  if (!layout.info || !layout.info->xing || !layout.info->lame) return std::nullopt;
  const mp3::LameTag& original = *layout.info->lame;
  mp3::LameFields fields;
  fields.encoder = original.encoder;
  fields.vbrMethod = original.vbrMethod;
  fields.encoderDelay = original.encoderDelay;
  // The padding describes the original's last frame; without it there is nothing to trim.
  fields.encoderPadding = check.lastFrameDropped ? 0 : original.encoderPadding;
  return fields;
}

std::optional<uint32_t> QualityOf(const StreamCheck& check) {
  const mp3::StreamLayout& layout = check.layout;
  if (!layout.info || !layout.info->xing) return std::nullopt;
  return layout.info->xing->quality;
}

// The frames the check kept, found again by a pass of their own (a file too long for the
// check to list them).
bool CopyKeptFramesFound(mp3::ByteSource& source, const StreamCheck& check, toolcommon::FrameCopier& copier,
                         std::string& error) {
  const mp3::StreamLayout& layout = check.layout;
  FrameFilter filter(source, layout, check.streamHeader);
  mp3::FrameScanner scanner(source, layout.audioStart, layout.audioEnd);
  mp3::ScanEvent event;
  while (scanner.Next(event)) {
    if (event.kind == mp3::ScanEvent::Kind::ReadError) {
      error = "cannot read the file";
      return false;
    }
    if (event.kind != mp3::ScanEvent::Kind::Frame) continue;
    const mp3::ByteView held = scanner.Buffered(event.offset, event.size);
    if (filter.Judge(event, held) == FrameFilter::Verdict::Keep && !copier.CopyFrame(event, held)) {
      error = copier.Error();
      return false;
    }
  }
  return true;
}

// Writes the repaired copy: leading tags (and stray ID3v2 tags) first, the information
// frame where the original had one, the frames the check kept, then the tail tags with any
// ID3v1 tag last.
bool WriteRepairedCopy(mp3::ByteSource& source, const StreamCheck& check, toolcommon::TempOutput& output,
                       std::string& error) {
  const mp3::StreamLayout& layout = check.layout;
  toolcommon::FrameCopier copier(output, source);
  auto fail = [&]() {
    error = copier.Error();
    return false;
  };
  for (const mp3::TagInfo& tag : layout.leadingTags) {
    if (!copier.CopyRange(tag.range)) return fail();
  }
  for (const mp3::ByteRange& tag : check.strayId3v2) {
    if (!copier.CopyRange(tag)) return fail();
  }
  // An information frame that agrees with the kept frames stays as it was; one that does
  // not is written anew (or left out for Layer I/II, where it cannot be written).
  std::optional<mp3::LameFields> lame = LameFieldsFor(check);
  std::optional<uint32_t> quality = QualityOf(check);
  bool rewriteInfo = layout.info && check.counts[static_cast<int>(ProblemKind::InfoFrame)] > 0;
  if (rewriteInfo && !copier.ReserveInfoFrame(check.streamHeader, lame.has_value(), quality.has_value())) return fail();
  if (layout.info && !rewriteInfo && !copier.CopyRange(layout.infoFrameRange)) return fail();

  if (check.keptFramesListed) {
    for (const mp3::ScanEvent& frame : check.keptFrames) {
      if (!copier.CopyFrame(frame)) return fail();
    }
  } else if (!CopyKeptFramesFound(source, check, copier, error)) {
    return false;
  }
  if (copier.FramesWritten() != check.framesKept) {
    error = "the file changed while it was being repaired";
    return false;
  }

  std::optional<mp3::ByteRange> id3v1 = check.strayId3v1;
  for (const mp3::TagInfo& tag : layout.tail.tags) {
    if (tag.kind == mp3::TagKind::Id3v1)
      id3v1 = tag.range;
    else if (!copier.CopyRange(tag.range))
      return fail();
  }
  if (id3v1 && !copier.CopyRange(*id3v1)) return fail();
  if (rewriteInfo && !copier.FinishInfoFrame(lame, quality)) return fail();
  if (!output.Finish()) {
    error = output.Error();
    return false;
  }
  return true;
}

// The repaired copy must itself pass the check with nothing left to fix and with every
// frame that was meant to be kept; otherwise the original stays as it is.
bool RepairedCopyIsSound(const std::string& path, const StreamCheck& original) {
  toolcommon::InputFile source;
  if (!source.Open(path)) return false;
  StreamCheck check;
  return CheckStream(source, check) == CheckStatus::Ok && check.Total() == 0 && check.framesKept == original.framesKept;
}

void Report(const std::string& path, const StreamCheck& check) {
  for (const Problem& problem : check.problems) toolcommon::PrintLine(toolcommon::Joined({path, ": ", DescribeProblem(problem)}));
  for (int kind = 0; kind < kProblemKinds; ++kind) {
    uint64_t shown = 0;
    for (const Problem& problem : check.problems) shown += static_cast<int>(problem.kind) == kind;
    if (check.counts[kind] > shown)
      toolcommon::PrintLine(path + ": ... and " + std::to_string(check.counts[kind] - shown) +
                            " more: " + ProblemKindName(static_cast<ProblemKind>(kind)));
  }
}

int CheckFile(const std::string& path, bool repair) {
  using toolcommon::PathKind;
  PathKind kind = toolcommon::GetPathKind(path);
  if (kind == PathKind::Missing) return Fail("cannot find '" + path + "'");
  if (kind != PathKind::File) return Fail("'" + path + "' is not a file");
  toolcommon::InputFile source;
  if (!source.Open(path)) return Fail("cannot open '" + path + "': " + toolcommon::SystemErrorText());

  StreamCheck check;
  switch (CheckStream(source, check)) {
    case CheckStatus::Ok: break;
    case CheckStatus::Empty: return Fail("'" + path + "' is empty; left unchanged");
    case CheckStatus::NotMp3:
      return Fail("'" + path + "' is not an MP3 file (too few MPEG audio frames); left unchanged");
    case CheckStatus::ReadError: return Fail("cannot read '" + path + "'; left unchanged");
  }
  Report(path, check);
  if (check.Total() == 0) {
    toolcommon::PrintLine(toolcommon::Joined({path, ": no problems found (", std::to_string(check.framesKept), " frames)"}));
    return kExitClean;
  }
  toolcommon::PrintLine(toolcommon::Joined({path, ": ", std::to_string(check.Total()), " problem(s) found"}));
  if (!repair) return kExitProblems;

  toolcommon::TempOutput output;
  if (!output.Create(toolcommon::FolderOf(path), FileNameOf(path)))
    return Fail("cannot write beside '" + path + "': " + output.Error() + "; left unchanged");
  output.CopyPermissionsFrom(path);
  std::string error;
  if (!WriteRepairedCopy(source, check, output, error)) return Fail("repair failed: " + error + "; left unchanged");
  source.Close();  // Windows renames only closed files
  if (!RepairedCopyIsSound(output.Path(), check))
    return Fail("the repaired copy did not check out; '" + path + "' left unchanged");

  // The backup is a second name of the original, made while the original stays in place;
  // then one rename puts the copy over it. At every instant the user's name holds either the
  // old file or the whole new one.
  toolcommon::TerminationSignalsHeld held;
  std::string backup = ChooseBackupName(path);
  if (backup.empty()) return Fail("no free name for a backup of '" + path + "'; left unchanged");
  if (!toolcommon::KeepBackupOf(path, backup))
    return Fail("cannot keep '" + path + "' as '" + backup + "': " + toolcommon::SystemErrorText() +
                "; left unchanged");
  if (!toolcommon::RenameReplacing(output.Path(), path)) {
    std::string why = toolcommon::SystemErrorText();
    toolcommon::RemoveFile(backup);
    return Fail("cannot put the repaired file in place: " + why + "; left unchanged");
  }
  output.Release();
  toolcommon::PrintLine(
      toolcommon::Joined({path, ": repaired (", std::to_string(check.framesKept), " frames); original kept as ", backup}));
  return kExitProblems;
}

}  // namespace

std::string ChooseBackupName(const std::string& path) {
  std::string candidate = path + ".bak";
  for (int number = 1; toolcommon::GetPathKind(candidate) != toolcommon::PathKind::Missing; ++number) {
    if (number > kMaxBackupNumber) return std::string();
    candidate = path + "." + std::to_string(number) + ".bak";
  }
  return candidate;
}

int RunMp3val(const std::vector<std::string>& args) {
  bool repair = false;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--")
      optionsEnded = true;
    else if (!optionsEnded && arg == "-f")
      repair = true;
    else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
      toolcommon::PrintLine(kUsage);
      return kExitClean;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      toolcommon::PrintError(kTool, "unknown option '" + arg + "'\n" + kUsage);
      return kExitFailed;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 1) {
    toolcommon::PrintError(kTool, std::string(files.empty() ? "no file given" : "give one file only") + "\n" + kUsage);
    return kExitFailed;
  }
  return CheckFile(files[0], repair);
}

}  // namespace mp3val
