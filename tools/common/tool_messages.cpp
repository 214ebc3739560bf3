#include "tools/common/tool_messages.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include "tools/common/text_encoding.h"
#endif

namespace toolcommon {

namespace {
void WriteLine(std::FILE* stream, const std::string& line) {
#ifdef _WIN32
  HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    std::wstring wide = Utf8ToWide(line + "\n");
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}
}  // namespace

void PrintError(const std::string& tool, const std::string& message) { WriteLine(stderr, tool + ": " + message); }

void PrintLine(const std::string& message) { WriteLine(stdout, message); }

}  // namespace toolcommon
