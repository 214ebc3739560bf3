// Conversions between the UTF-8 strings the tools use internally and the UTF-16 the
// Windows API speaks. On other systems paths are passed through as bytes.
#pragma once
#include <string>
#include <vector>

namespace toolcommon {

#ifdef _WIN32
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// wmain's argv without the program name, as UTF-8.
std::vector<std::string> WideArgsToUtf8(int argc, wchar_t** argv);
#endif

// main's argv without the program name.
std::vector<std::string> NarrowArgs(int argc, char** argv);

}  // namespace toolcommon
