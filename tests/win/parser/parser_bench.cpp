// Figures for the parser filter under Wine (printed, never asserted): how long connecting a
// long file takes (the whole file is indexed through IAsyncReader), how the duration
// compares with the frame index and with the system's MPEG-1 splitter, and where seeks
// land at ten positions.
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "graph_helpers.h"

using namespace parser_test;

namespace {

constexpr int kConnectRuns = 3;
constexpr int kSeekPositions = 10;
constexpr LONGLONG kUnitsPerMs = 10000;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

void MeasureConnect(const std::wstring& path) {
    std::vector<double> times;
    for (int run = 0; run < kConnectRuns; ++run) {
        TestGraph graph;
        if (FAILED(graph.Create(path))) {
            std::printf("connect: graph creation failed\n");
            return;
        }
        const LARGE_INTEGER began = Now();
        const HRESULT hr = graph.ConnectSource();
        const LARGE_INTEGER ended = Now();
        if (FAILED(hr)) {
            std::printf("connect: failed 0x%08lx\n", hr);
            return;
        }
        times.push_back(Seconds(began, ended));
    }
    std::sort(times.begin(), times.end());
    std::printf("connect source->parser (indexes the file): min %.3f s, median %.3f s over %d runs\n", times.front(),
                times[times.size() / 2], kConnectRuns);
}

LONGLONG SplitterDuration(const std::wstring& path) {
    static const CLSID kMpeg1Splitter = {0x336475D0, 0x942A, 0x11CE, {0xA8, 0x70, 0x00, 0xAA, 0x00, 0x2F, 0xEA, 0xB5}};
    TestGraph graph;
    if (FAILED(graph.Create(path))) return -1;
    // Swap the parser for the system splitter in the same graph.
    graph.graph->RemoveFilter(graph.parser);
    SafeRelease(graph.parser);
    if (FAILED(CoCreateInstance(kMpeg1Splitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&graph.parser))))
        return -1;
    graph.graph->AddFilter(graph.parser, L"mp3Parser");
    if (FAILED(graph.ConnectSource()) || FAILED(graph.ConnectPlayback())) return -1;
    LONGLONG duration = -1;
    graph.seeking->GetDuration(&duration);
    return duration;
}

void MeasureSeeks(const std::wstring& path, const mp3::FrameIndex& index) {
    TestGraph graph;
    const LARGE_INTEGER began = Now();
    if (FAILED(graph.Build(path))) {
        std::printf("seek: graph build failed\n");
        return;
    }
    std::printf("full graph build (source, parser, decoder, renderer): %.3f s\n", Seconds(began, Now()));
    LONGLONG duration = 0;
    graph.seeking->GetDuration(&duration);
    std::printf("duration: graph %lld ms, frame index %lld ms (%zu frames), difference %lld units\n",
                duration / kUnitsPerMs, index.DurationMs(), index.FrameCount(), duration - index.DurationUnits());
    const LONGLONG splitter = SplitterDuration(path);
    if (splitter >= 0) std::printf("duration by the system MPEG-1 splitter: %lld ms\n", splitter / kUnitsPerMs);

    graph.control->Pause();
    OAFilterState state;
    graph.control->GetState(5000, &state);
    IMediaSeeking* parserSeeking = graph.ParserSeeking();
    double worstSeek = 0;
    LONGLONG worstError = 0;
    for (int i = 0; i < kSeekPositions; ++i) {
        // Targets off any frame boundary, spread over the whole file.
        const LONGLONG target = duration / kSeekPositions * i + 1234567 * (i + 1) % duration;
        LONGLONG wanted = target;
        const LARGE_INTEGER seekBegan = Now();
        graph.seeking->SetPositions(&wanted, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        const double seekTime = Seconds(seekBegan, Now());
        LONGLONG landed = target;
        parserSeeking->SetPositions(&landed, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime, nullptr,
                                    AM_SEEKING_NoPositioning);
        const LONGLONG truth = index.FrameStartUnits(index.FrameAtUnits(target));
        worstSeek = std::max(worstSeek, seekTime);
        worstError = std::max(worstError, std::max(target - landed, landed - target));
        std::printf(
            "seek %2d: target %10.3f ms, reported %10.3f ms (frame holding it starts %10.3f ms), %.1f ms to seek\n", i,
            target / 1e4, landed / 1e4, truth / 1e4, seekTime * 1e3);
    }
    std::printf("seek: largest distance from target %.3f ms (one frame is %.3f ms), slowest seek %.1f ms\n",
                worstError / 1e4, FrameUnits(index) / 1e4, worstSeek * 1e3);
    parserSeeking->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: parser_bench <Z:\\path\\long.mp3>\n");
        return 2;
    }
    if (FAILED(OleInitialize(nullptr))) return 2;
    const std::wstring path = argv[1];
    mp3::FrameIndex index;
    const LARGE_INTEGER began = Now();
    if (!IndexPath(path, index)) {
        std::fprintf(stderr, "parser_bench: cannot index the file\n");
        OleUninitialize();
        return 1;
    }
    std::printf("native index of the same file (FILE*): %.3f s\n", Seconds(began, Now()));
    MeasureConnect(path);
    MeasureSeeks(path, index);
    OleUninitialize();
    return 0;
}
