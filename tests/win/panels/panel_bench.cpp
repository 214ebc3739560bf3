// Measures one redraw of the timeline bar and of the A-B display at the default window size,
// and whether the process's GDI objects grow over many redraws and resizes.
#include "app/app_state.h"
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/support/test_support.h"

#include <commctrl.h>
#include <winternl.h>
#include <ole2.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int timedRedraws = 1000;
constexpr int countedRedraws = 10000;
constexpr int resizes = 100;

double MedianRedrawUs(HWND panel, WORD refresh) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < timedRedraws; ++i) {
        QueryPerformanceCounter(&start);
        SendMessageW(panel, WM_COMMAND, refresh, 0);
        QueryPerformanceCounter(&end);
        times.push_back(1e6 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Wine's GetGuiResources answers 0, so where it does the live entries of the process's GDI handle
// table are counted instead (the table the PEB points to; Wine's entries are 24 bytes, with the
// object's type in byte 14, 0 for a free entry).
DWORD GdiObjects() {
    DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported) return reported;
    constexpr size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    constexpr size_t entrySize = 24, typeOffset = 14, entries = 0x4000;
    PROCESS_BASIC_INFORMATION info = {};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &info, sizeof info, nullptr) != 0)
        return 0;
    const BYTE* peb = reinterpret_cast<const BYTE*>(info.PebBaseAddress);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + tableOffset);
    if (!table) return 0;
    DWORD live = 0;
    for (size_t i = 0; i < entries; ++i) live += table[i * entrySize + typeOffset] != 0;
    return live;
}

// That the count sees objects come and go: 100 brushes made, counted and deleted.
long ProbeGrowth() {
    DWORD before = GdiObjects();
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 100; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
    long grown = static_cast<long>(GdiObjects()) - static_cast<long>(before);
    for (HBRUSH brush : brushes) DeleteObject(brush);
    return grown;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: panel_bench <file.mp3>\n");
        return 2;
    }
    OleInitialize(nullptr);
    InitCommonControls();
    SetEnvironmentVariableW(L"USERPROFILE", MakeTempFolder(L"clipvane-bench").c_str());
    if (!theApp.Init(GetModuleHandleW(nullptr))) return 1;
    theApp.OpenFile(argv[1]);
    if (!theApp.loaded) {
        fwprintf(stderr, L"could not open %ls\n", argv[1]);
        return 1;
    }
    theApp.pointA = 1000;
    theApp.pointB = 2000;
    PumpMessages(200);
    double timeline = MedianRedrawUs(theApp.timelineBar, IDC_REFRESH_TIMELINE);
    double ab = MedianRedrawUs(theApp.abPanel, IDC_REFRESH_AB_PANEL);
    long probe = ProbeGrowth();
    DWORD before = GdiObjects();
    for (int i = 0; i < countedRedraws; ++i) theApp.RefreshPanels();
    DWORD afterRedraws = GdiObjects();
    RECT window = {};
    GetWindowRect(theApp.mainWindow, &window);
    for (int i = 0; i < resizes; ++i) {
        int grow = i % 2 ? 0 : 40;
        SetWindowPos(theApp.mainWindow, nullptr, 0, 0, window.right - window.left + grow,
                     window.bottom - window.top + grow, SWP_NOMOVE | SWP_NOZORDER);
        PumpMessages(1);
    }
    DWORD afterResizes = GdiObjects();
    theApp.Exit();
    OleUninitialize();
    printf("one redraw, median of %d (playing, A and B set): timeline bar %.1f us, A-B display %.1f us\n", timedRedraws,
           timeline, ab);
    printf(
        "GDI objects: %lu before, %lu after %d redraws of both panels, %lu after %d resizes (100 probe brushes counted "
        "as +%ld)\n",
        before, afterRedraws, countedRedraws, afterResizes, resizes, probe);
    return 0;
}
