// Writes one stretch of an MP3 file to a new file.
#pragma once
#include <string>
#include <vector>

#include "tools/mp3splt/split_request.h"

namespace mp3splt {

enum ExitCode : int {
  kExitWritten = 0,
  kExitBadArguments = 1,
  kExitBadInput = 2,
  kExitNotWritten = 3,
};

// The whole tool: parses the arguments, cuts, reports on stdout/stderr; returns the exit code.
int RunMp3splt(const std::vector<std::string>& args);

// Cuts as requested; messages go to stderr.
int CutFile(const SplitRequest& request);

}  // namespace mp3splt
