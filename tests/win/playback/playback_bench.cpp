// Benchmark of the playback graph on one (long) file, both splitter kinds in one run:
//   - time to Open (the first graph of the process apart from the later ones);
//   - seek accuracy: SeekMs while paused at ten positions, the position read back with
//     GetPositionMs once the pause has settled, against the position asked for;
//   - how far the position moves in the first 500 ms of play after such a seek.
// Usage: playback_bench.exe <file.mp3> [open repetitions]
// Prints a table; exit code 0 when every graph could be built, 1 otherwise.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "tests/win/playback/graph_test_support.h"
#include "tests/win/support/test_support.h"

namespace {

constexpr int seekPositions = 10;
constexpr int defaultOpenRepetitions = 5;
constexpr DWORD settleTimeoutMs = 10000;
constexpr DWORD playProbeMs = 500;
const wchar_t benchWindowClass[] = L"ClipvanePlaybackBenchWindow";
// Stands in for the main window that the graphs notify, as in the program.
HWND benchWindow = nullptr;
// The project's parser first: stopping a streaming graph on Wine's MPEG-1 splitter can
// deadlock in Wine's decoder, and the figures measured before that should not be lost.
const SplitterKind benchOrder[] = {PreferredParser, Mpeg1Splitter};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

struct OpenFigures {
    HRESULT result = S_OK;
    double firstMs = 0;
    std::vector<double> laterMs;
};

struct SeekFigure {
    int targetMs = 0;
    int readMs = 0;
    double settleMs = 0;
    int playedMs = 0;  // position moved during playProbeMs of play after the seek
};

OpenFigures MeasureOpen(const std::wstring& path, SplitterKind kind, int repetitions) {
    OpenFigures figures;
    for (int i = 0; i <= repetitions; ++i) {
        PlaybackGraph graph(benchWindow, graphEventMessage);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        HRESULT hr = graph.Open(path.c_str(), kind);
        QueryPerformanceCounter(&end);
        if (FAILED(hr)) {
            figures.result = hr;
            return figures;
        }
        (i == 0 ? figures.firstMs : (figures.laterMs.push_back(0), figures.laterMs.back())) = Milliseconds(start, end);
        graph.Close();
    }
    return figures;
}

std::vector<SeekFigure> MeasureSeeks(const std::wstring& path, SplitterKind kind, int* stopMs) {
    std::vector<SeekFigure> figures;
    PlaybackGraph graph(benchWindow, graphEventMessage);
    if (FAILED(graph.Open(path.c_str(), kind))) return figures;
    *stopMs = graph.GetStopMs();
    for (int i = 1; i <= seekPositions; ++i) {
        SeekFigure figure;
        // Ten positions spread over the file, off any round number.
        figure.targetMs = static_cast<int>(int64_t(*stopMs) * i / (seekPositions + 1)) + 37 * i;
        graph.Pause();
        WaitForGraphState(graph, State_Paused, settleTimeoutMs);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        graph.SeekMs(figure.targetMs);
        graph.Pause();
        WaitForGraphState(graph, State_Paused, settleTimeoutMs);
        QueryPerformanceCounter(&end);
        figure.settleMs = Milliseconds(start, end);
        figure.readMs = graph.GetPositionMs();
        graph.Run();
        WaitForGraphState(graph, State_Running, settleTimeoutMs);
        int runningFrom = graph.GetPositionMs();
        PumpMessages(playProbeMs);
        figure.playedMs = graph.GetPositionMs() - runningFrom;
        std::printf("%11d %11d %10d %11.1f %11d\n", figure.targetMs, figure.readMs, figure.readMs - figure.targetMs,
                    figure.settleMs, figure.playedMs);
        figures.push_back(figure);
    }
    std::fprintf(stderr, "stopping the %ls graph\n", KindName(kind));
    graph.Stop();
    graph.Close();
    return figures;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool CreateMainWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = benchWindowClass;
    RegisterClassW(&windowClass);
    benchWindow = CreateWindowExW(0, benchWindowClass, L"playback bench", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    return benchWindow != nullptr;
}

}  // namespace

int main() {
    // Unbuffered, so that the figures already measured survive a graph that hangs later.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring path = argc > 1 ? argv[1] : FixturePath(L"long.mp3");
    int repetitions = argc > 2 ? _wtoi(argv[2]) : defaultOpenRepetitions;
    LocalFree(argv);

    if (FAILED(OleInitialize(nullptr)) || !CreateMainWindow()) {
        std::fprintf(stderr, "playback bench: no OLE or no window (is there a display?)\n");
        return 1;
    }
    std::optional<CountedLength> counted = CountLength(path);
    std::printf("file: %ls\n", path.c_str());
    if (counted)
        std::printf("frames: %zu, %lld ms by the frames%s, one frame %d ms\n", counted->frames,
                    static_cast<long long>(counted->framesMs),
                    counted->audibleMs ? (", " + std::to_string(*counted->audibleMs) + " ms audible").c_str() : "",
                    counted->frameMs);

    // Each kind's figures are printed as soon as they are measured.
    bool allBuilt = true;
    for (SplitterKind kind : benchOrder) {
        std::printf("\n== %ls\n", KindName(kind));
        OpenFigures open = MeasureOpen(path, kind, repetitions);
        if (FAILED(open.result)) {
            allBuilt = false;
            std::printf("Open failed: 0x%08lX\n", static_cast<unsigned long>(open.result));
            continue;
        }
        auto [low, high] = std::minmax_element(open.laterMs.begin(), open.laterMs.end());
        std::printf("Open: first %.1f ms; later %d: median %.1f ms, min %.1f, max %.1f\n", open.firstMs,
                    static_cast<int>(open.laterMs.size()), Median(open.laterMs), open.laterMs.empty() ? 0 : *low,
                    open.laterMs.empty() ? 0 : *high);
        int stopMs = 0;
        std::printf("Seek while paused (error = read back - asked; played = movement in %lu ms of play)\n",
                    playProbeMs);
        std::printf("   asked ms     read ms   error ms   settle ms   played ms\n");
        std::vector<SeekFigure> seek = MeasureSeeks(path, kind, &stopMs);
        int worst = 0;
        for (const SeekFigure& f : seek) {
            int error = f.readMs - f.targetMs;
            worst = std::max(worst, std::abs(error));
        }
        std::printf("stop position reported: %d ms; worst |error|: %d ms\n", stopMs, worst);
    }

    DestroyWindow(benchWindow);
    OleUninitialize();
    return allBuilt ? 0 : 1;
}
