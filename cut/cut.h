// The cut command's two dialogs and the splitter's command line.
#pragma once

#include <windows.h>

// Chosen in the locating-mode dialog for every cut; read by the progress dialog.
extern bool useFrameMode;

// The shortest A-B stretch that may be cut, in milliseconds.
constexpr int minimumCutMs = 200;

// Buffer size for the splitter's command line: four quoted paths and two times.
constexpr int splitterCommandUnits = 2048;
// Buffer size for one time in the splitter's notation.
constexpr int splitterTimeUnits = 16;

// Locating-mode dialog (template IDD_CUT_METHOD): opens on frame mode every time, can only be
// left with OK, and stores the answer in useFrameMode.
INT_PTR CALLBACK CutMethodDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Progress dialog (template IDD_CUT_PROGRESS), parameter the output path: runs the splitter
// hidden, polls it, and reports the end of the cut.
INT_PTR CALLBACK CutProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Milliseconds as the splitter's minutes.seconds.hundredths, truncated, unpadded: 83456 -> 1.23.45.
void FormatSplitterTime(int ms, wchar_t* text, int units);

// The splitter's command line for cutting [startMs, endMs] of `inputFile` to `outputPath`
// (a full path ending in ".mp3"; the splitter is told its folder and its name without the
// extension). False when the result does not fit into `units`.
bool BuildSplitterCommandLine(const wchar_t* splitterPath, const wchar_t* inputFile, int startMs, int endMs,
                              const wchar_t* outputPath, bool frameMode, wchar_t* commandLine, int units);

// Explorer's parameters that open the output's folder with the output selected. The path is
// quoted: unquoted, a comma in it would end the path for Explorer.
void FormatRevealParameters(const wchar_t* outputPath, wchar_t* parameters, int units);
