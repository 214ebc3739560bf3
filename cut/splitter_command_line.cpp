// The splitter's command line: the input, the two cut points in its time notation, and the
// output given as a folder plus a name to which the splitter adds ".mp3" itself.
#include "cut/cut.h"
#include "app/app_state.h"

#include <shlwapi.h>
#include <cstdio>
#include <cwchar>

namespace {

constexpr int msPerHundredth = 10;
constexpr int hundredthsPerSecond = 100;
constexpr int hundredthsPerMinute = 6000;

// The folder of the output path; a drive's root folder loses its separator (D:\ becomes D:),
// since "D:\" inside quotes would read as an escaped quote to the splitter.
void OutputFolder(const wchar_t* outputPath, wchar_t* folder) {
    lstrcpynW(folder, outputPath, pathUnits);
    PathRemoveFileSpecW(folder);
    size_t length = wcslen(folder);
    if (length > 0 && (folder[length - 1] == L'\\' || folder[length - 1] == L'/')) folder[length - 1] = L'\0';
}

void OutputName(const wchar_t* outputPath, wchar_t* name) {
    lstrcpynW(name, PathFindFileNameW(outputPath), pathUnits);
    PathRemoveExtensionW(name);
}

}  // namespace

void FormatSplitterTime(int ms, wchar_t* text, int units) {
    int hundredths = ms / msPerHundredth;
    _snwprintf(text, units - 1, L"%d.%d.%d", hundredths / hundredthsPerMinute,
               hundredths % hundredthsPerMinute / hundredthsPerSecond, hundredths % hundredthsPerSecond);
    text[units - 1] = L'\0';
}

bool BuildSplitterCommandLine(const wchar_t* splitterPath, const wchar_t* inputFile, int startMs, int endMs,
                              const wchar_t* outputPath, bool frameMode, wchar_t* commandLine, int units) {
    wchar_t start[splitterTimeUnits] = {};
    wchar_t end[splitterTimeUnits] = {};
    wchar_t folder[pathUnits] = {};
    wchar_t name[pathUnits] = {};
    FormatSplitterTime(startMs, start, splitterTimeUnits);
    FormatSplitterTime(endMs, end, splitterTimeUnits);
    OutputFolder(outputPath, folder);
    OutputName(outputPath, name);
    const wchar_t* format =
        frameMode ? L"\"%s\" \"%s\" %s %s -d \"%s\" -o \"%s\" -f" : L"\"%s\" \"%s\" %s %s -d \"%s\" -o \"%s\"";
    int written = _snwprintf(commandLine, units, format, splitterPath, inputFile, start, end, folder, name);
    if (written < 0 || written >= units) {
        commandLine[units - 1] = L'\0';
        return false;
    }
    return true;
}

void FormatRevealParameters(const wchar_t* outputPath, wchar_t* parameters, int units) {
    _snwprintf(parameters, units - 1, L"/select,\"%s\"", outputPath);
    parameters[units - 1] = L'\0';
}
