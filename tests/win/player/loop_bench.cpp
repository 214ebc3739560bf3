// Measures the A-B loop in the real program: how far past B playback gets before the tick
// sends it back to A, and how long a file takes from the open command to moving playback.
#include "app/app_state.h"
#include "playback/playback_graph.h"
#include "tests/win/support/test_support.h"

#include <commctrl.h>
#include <ole2.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int loops = 20;
constexpr int pointA = 4000;
constexpr int pointB = 5000;

double OpenToFirstMoveMs(const std::wstring& path) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    theApp.OpenFile(path.c_str());
    if (!theApp.loaded) return -1;
    int first = theApp.graph->GetPositionMs();
    PumpUntil([&] { return theApp.graph->GetPositionMs() != first; }, 10000);
    QueryPerformanceCounter(&now);
    return 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

std::vector<int> LoopOvershoots() {
    theApp.pointA = pointA;
    theApp.pointB = pointB;
    theApp.graph->SeekMs(pointA);
    std::vector<int> overshoots;
    int highest = 0;
    int previous = pointA;
    DWORD start = GetTickCount();
    while (static_cast<int>(overshoots.size()) < loops && GetTickCount() - start < 60000) {
        PumpMessages(2);
        int position = theApp.graph->GetPositionMs();
        if (position < previous - 500) {  // sent back to A
            overshoots.push_back(highest - pointB);
            highest = 0;
        }
        highest = std::max(highest, position);
        previous = position;
    }
    return overshoots;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: loop_bench <file.mp3>\n");
        return 2;
    }
    OleInitialize(nullptr);
    InitCommonControls();
    SetEnvironmentVariableW(L"USERPROFILE", MakeTempFolder(L"clipvane-bench").c_str());
    if (!theApp.Init(GetModuleHandleW(nullptr))) return 1;
    double openMs = OpenToFirstMoveMs(argv[1]);
    if (openMs < 0) {
        fwprintf(stderr, L"could not open %ls\n", argv[1]);
        return 1;
    }
    std::vector<int> overshoots = LoopOvershoots();
    theApp.Exit();
    OleUninitialize();
    if (overshoots.empty()) return 1;
    std::sort(overshoots.begin(), overshoots.end());
    printf("open to first position change: %.0f ms\n", openMs);
    printf("A-B loop (A %d ms, B %d ms), %u loops: overshoot past B median %d ms, max %d ms\n", pointA, pointB,
           static_cast<unsigned>(overshoots.size()), overshoots[overshoots.size() / 2], overshoots.back());
    return 0;
}
