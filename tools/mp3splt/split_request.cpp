#include "tools/mp3splt/split_request.h"

#include <cstdio>

namespace mp3splt {

namespace {

constexpr int64_t kMsPerMinute = 60000;
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerHundredth = 10;
constexpr int kMaxSecond = 59;
constexpr int kMaxHundredth = 99;
// Seven digits of minutes is some nineteen years: far beyond any file, far below overflow.
constexpr size_t kMaxMinuteDigits = 7;
constexpr size_t kMaxFieldDigits = 2;

bool IsDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::vector<std::string> SplitOnDots(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == '.')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

bool LooksLikeOption(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

bool HasPathSeparator(const std::string& name) {
  for (char c : name) {
    if (c == '/') return true;
#ifdef _WIN32
    if (c == '\\' || c == ':') return true;
#endif
  }
  return false;
}

}  // namespace

const char kSplitUsage[] =
    "usage: mp3splt <input.mp3> <start> <end> -d <folder> -o <name> [-f]\n"
    "  Writes the stretch from <start> to <end> of <input.mp3> to <folder>/<name>.mp3.\n"
    "  Times are minutes.seconds.hundredths (1.23.45) or minutes.seconds (1.23);\n"
    "  an end beyond the end of the file means the end of the file.\n"
    "  -f  exact: gapless players play the stretch to the sample (the LAME tag's encoder\n"
    "      delay and padding trim the frames kept around it); without it the cut points\n"
    "      are estimated from the bitrate (faster, a little less exact).\n"
    "  Exit status: 0 written, 1 bad arguments, 2 unusable input, 3 output not written.";

std::optional<int64_t> ParseCutTime(const std::string& text) {
  std::vector<std::string> parts = SplitOnDots(text);
  if (parts.size() != 2 && parts.size() != 3) return std::nullopt;
  for (const std::string& part : parts) {
    if (!IsDigits(part)) return std::nullopt;
  }
  if (parts[0].size() > kMaxMinuteDigits) return std::nullopt;
  if (parts[1].size() > kMaxFieldDigits) return std::nullopt;
  int64_t minutes = std::stoll(parts[0]);
  int seconds = std::stoi(parts[1]);
  int hundredths = 0;
  if (parts.size() == 3) {
    if (parts[2].size() > kMaxFieldDigits) return std::nullopt;
    hundredths = std::stoi(parts[2]);
  }
  if (seconds > kMaxSecond || hundredths > kMaxHundredth) return std::nullopt;
  return minutes * kMsPerMinute + seconds * kMsPerSecond + hundredths * kMsPerHundredth;
}

std::string FormatCutTime(int64_t milliseconds) {
  int64_t hundredths = milliseconds / kMsPerHundredth;
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%02lld.%02lld", static_cast<long long>(hundredths / 6000),
                static_cast<long long>(hundredths % 6000 / 100), static_cast<long long>(hundredths % 100));
  return text;
}

std::optional<SplitRequest> ParseSplitArguments(const std::vector<std::string>& args, std::string& error) {
  SplitRequest request;
  std::vector<std::string> positional;
  bool haveFolder = false;
  bool haveName = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || !LooksLikeOption(arg)) {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-f") {
      request.frameMode = true;
    } else if (arg == "-d" || arg == "-o") {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return std::nullopt;
      }
      (arg == "-d" ? request.folder : request.name) = args[++i];
      (arg == "-d" ? haveFolder : haveName) = true;
    } else {
      error = "unknown option '" + arg + "'";
      return std::nullopt;
    }
  }
  if (positional.size() != 3) {
    error = positional.size() < 3 ? "missing arguments: an input file, a start time and an end time are needed"
                                  : "too many arguments: '" + positional[3] + "' is not expected";
    return std::nullopt;
  }
  if (!haveFolder || !haveName) {
    error = !haveFolder ? "missing the output folder (-d <folder>)" : "missing the output name (-o <name>)";
    return std::nullopt;
  }
  request.input = positional[0];
  if (request.input.empty()) {
    error = "the input file name is empty";
    return std::nullopt;
  }
  std::optional<int64_t> start = ParseCutTime(positional[1]);
  std::optional<int64_t> end = ParseCutTime(positional[2]);
  if (!start || !end) {
    error = "bad time '" + (start ? positional[2] : positional[1]) +
            "': expected minutes.seconds.hundredths such as 1.23.45 (seconds below 60, hundredths below 100)";
    return std::nullopt;
  }
  request.startMs = *start;
  request.endMs = *end;
  if (request.startMs >= request.endMs) {
    error = "the start (" + positional[1] + ") must lie before the end (" + positional[2] + ")";
    return std::nullopt;
  }
  if (request.name.empty() || request.name == "." || request.name == ".." || HasPathSeparator(request.name)) {
    error = "bad output name '" + request.name + "': give a file name without a folder";
    return std::nullopt;
  }
  return request;
}

}  // namespace mp3splt
