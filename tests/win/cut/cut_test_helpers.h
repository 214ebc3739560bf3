// Shared set-up of the cut tests: a real main window with a real loaded file, the answers a
// person gives to the cut's dialogs, and ways to look at what the splitter left behind.
#pragma once

#include "tests/win/support/test_support.h"

#include <windows.h>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Creates the main window (the program's own class and procedure) with its status bar, once.
void EnsureMainWindow();

// Copies a fixture into `folder` under `name` and loads it as the program would; true when the
// file ended up loaded.
bool LoadCopyOfFixture(const wchar_t* fixture, const std::wstring& folder, const wchar_t* name, std::wstring& loaded);

// Makes sure playback runs (the cut command must pause it).
void EnsurePlaying();

// What the progress dialog showed while it was answered.
struct ProgressSeen {
    bool appeared = false;
    std::wstring finalStatus;      // status text when the run ended (or when the answer gave up)
    std::wstring outputPath;       // text of the output path box
    bool animationVisible = true;  // after the end
};

// What the locating-mode dialog showed.
struct ModeSeen {
    bool appeared = false;
    bool frameCheckedAtOpen = false;
};

// Answers for a whole cut. Shared pointers because the watcher thread fills them in.
struct CutAnswers {
    std::shared_ptr<ModeSeen> mode = std::make_shared<ModeSeen>();
    std::shared_ptr<ProgressSeen> progress = std::make_shared<ProgressSeen>();
};

// Locating-mode dialog: records the radio state at opening, picks bitrate mode when asked,
// presses OK.
DialogAnswerer::Reply AnswerMode(std::shared_ptr<ModeSeen> seen, bool chooseBitrate);
// Progress dialog: waits until the status leaves "正在剪切中…" (at most `timeoutMs`), records what
// is shown, then presses 取消.
DialogAnswerer::Reply AnswerProgress(std::shared_ptr<ProgressSeen> seen, DWORD timeoutMs);

// Message boxes: records which standard icon the box shows (MB_ICONERROR, MB_ICONQUESTION or
// 0), then applies `then`.
DialogAnswerer::Reply RecordIcon(std::shared_ptr<UINT> icon, DialogAnswerer::Reply then);

// Runs theApp.CutAbPart with the given answers already queued; the answerer is cleared first.
void RunCut(DialogAnswerer& answerer, const std::vector<DialogAnswerer::Reply>& replies);

// Audio frames and duration of an MP3 file, read with the program's own MP3 library.
struct Mp3Facts {
    bool ok = false;
    size_t frames = 0;
    int64_t durationMs = 0;  // as a gapless player plays it: the LAME delay and padding left out
    double frameMs = 0;
};
Mp3Facts ReadMp3Facts(const std::wstring& path);

std::string ReadAllBytes(const std::wstring& path);
bool WriteAllBytes(const std::wstring& path, const std::string& bytes);

// Process ids of the running processes with this executable name.
std::vector<DWORD> ProcessIdsOf(const wchar_t* exeName);

// Starts a program that shares this program's standard output and error; null on failure.
HANDLE StartChildProgram(const std::wstring& commandLine);

// Deletes a folder made by the test with everything in it.
void RemoveFolderTree(const std::wstring& folder);

// The text the program shows for a cached string id.
std::wstring Text(UINT id);
