#include "tools/common/tool_messages.h"

#include <cstdio>

#include "tools/common/joined_text.h"

#ifdef _WIN32
#include <windows.h>
#include "tools/common/text_encoding.h"
#endif

namespace toolcommon {

namespace {
// `line` ends in its line feed.
void WriteLine(std::FILE* stream, const std::string& line) {
#ifdef _WIN32
  HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    std::wstring wide = Utf8ToWide(line);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}
}  // namespace

// Standard error has no buffer: each piece handed to it is a system call of its own, so the
// line arrives whole, line feed included.
void PrintError(const std::string& tool, const std::string& message) {
  WriteLine(stderr, Joined({tool, ": ", message, "\n"}));
}

void PrintLine(const std::string& message) { WriteLine(stdout, Joined({message, "\n"})); }

}  // namespace toolcommon
