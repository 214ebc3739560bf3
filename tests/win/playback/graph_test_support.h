// Shared by the playback graph tests and the playback benchmark: what a fixture's frames say
// about its length, waiting for the graph to settle, process resource counts, and a guard
// that turns a hang into a clear failure.
#pragma once

#include <windows.h>
#include <cstdint>
#include <optional>
#include <string>

#include "playback/playback_graph.h"

// The length of an MP3 file according to its own frames, counted with the portable library.
struct CountedLength {
    int64_t framesMs = 0;              // every audio frame, the information frame excluded
    std::optional<int64_t> audibleMs;  // less the encoder delay and padding of a LAME tag
    int frameMs = 0;                   // duration of one frame, rounded up
    size_t frames = 0;
};
// nullopt when the file cannot be read or holds no audio frame.
std::optional<CountedLength> CountLength(const std::wstring& path);

// Waits (pumping this thread's messages) until the graph reports `state` as a completed
// transition. False on timeout.
bool WaitForGraphState(PlaybackGraph& graph, OAFilterState state, DWORD timeoutMs);

// Threads of this process (Toolhelp32 snapshot).
int ProcessThreadCount();
// Open handles of this process. Wine's GetProcessHandleCount reports 0, so under Wine the
// system handle table is counted instead.
int ProcessHandleCount();

// While alive, ends the process with a message naming `what` if it is not destroyed within
// `timeoutMs`: a graph that hangs fails the run at once instead of at the CTest timeout.
class HangGuard {
public:
    HangGuard(std::wstring what, DWORD timeoutMs);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    static DWORD WINAPI Watch(void* self);
    std::wstring what_;
    DWORD timeoutMs_;
    HANDLE done_;
    HANDLE thread_;
};

const wchar_t* KindName(SplitterKind kind);
