// The splitter's command line: mp3splt <input> <start> <end> -d <folder> -o <name> [-f]
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mp3splt {

// Cut-point time written as minutes.seconds.hundredths ("1.23.45", "62.3.99", "0.0.0") or
// minutes.seconds ("1.23"). Minutes are unbounded; seconds 0-59; hundredths 0-99, so
// "1.0.5" is one minute and five hundredths. Returns milliseconds.
std::optional<int64_t> ParseCutTime(const std::string& text);

// Formats milliseconds back into the notation above (for messages).
std::string FormatCutTime(int64_t milliseconds);

struct SplitRequest {
  std::string input;
  int64_t startMs = 0;
  int64_t endMs = 0;
  std::string folder;
  std::string name;        // the output file name without ".mp3"
  bool frameMode = false;  // -f: walk the frames instead of estimating from the bitrate
};

// Parses the arguments (program name excluded). On failure returns nullopt and sets
// `error` to a message for the user.
std::optional<SplitRequest> ParseSplitArguments(const std::vector<std::string>& args, std::string& error);

extern const char kSplitUsage[];

}  // namespace mp3splt
