// Messages of the command-line tools: UTF-8 text, shown correctly in a Windows console
// (written as UTF-16) and passed on as UTF-8 bytes when redirected.
#pragma once
#include <string>

namespace toolcommon {

// "<tool>: <message>" and a line feed on standard error.
void PrintError(const std::string& tool, const std::string& message);
// A line on standard output.
void PrintLine(const std::string& message);

}  // namespace toolcommon
