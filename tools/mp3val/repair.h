// The command-line tool: mp3val [-f] <file>
#pragma once
#include <string>
#include <vector>

namespace mp3val {

enum ExitCode : int {
  kExitClean = 0,     // nothing to fix; the file was not touched
  kExitProblems = 1,  // problems found (and, with -f, repaired)
  kExitFailed = 2,    // bad arguments, unreadable or non-MP3 input, or the repair failed;
                      // the file was not touched
};

int RunMp3val(const std::vector<std::string>& args);

// The name the original gets when a repair replaces it: <file>.bak, or, when that exists
// already (an earlier repair's original, which must not be lost), <file>.1.bak,
// <file>.2.bak, ... Empty when all are taken.
std::string ChooseBackupName(const std::string& path);

}  // namespace mp3val
