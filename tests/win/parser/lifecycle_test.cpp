// States, teardown and resources: the parser's thread starts and stops with the graph, and
// many create/connect/play/destroy cycles leave no thread or handle behind.
#include <gtest/gtest.h>

#include <cstdio>

#include "graph_helpers.h"

namespace parser_test {
namespace {

constexpr int kCycles = 200;
constexpr int kWarmUpCycles = 5;
// Wine's own worker threads and handles come and go a little; a leak of one thread or a
// few handles per cycle would show as hundreds.
constexpr long kThreadSlack = 4;
constexpr long kHandleSlack = 40;
constexpr DWORD kStateTimeoutMs = 5000;

FILTER_STATE ParserState(IBaseFilter* parser) {
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(S_OK, parser->GetState(0, &state));
    return state;
}

TEST(ParserLifecycle, FollowsTheGraphThroughPauseRunAndStop) {
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Build(WinePath(FixturePath("vbr.mp3"))));
    const DWORD threadsStopped = ProcessThreadCount();
    EXPECT_EQ(State_Stopped, ParserState(graph.parser));

    ASSERT_TRUE(SUCCEEDED(graph.control->Pause()));
    OAFilterState state;
    EXPECT_EQ(S_OK, graph.control->GetState(kStateTimeoutMs, &state));
    EXPECT_EQ(State_Paused, ParserState(graph.parser));
    EXPECT_GT(ProcessThreadCount(), threadsStopped);  // the delivery thread (and Wine's) run

    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EXPECT_EQ(State_Running, ParserState(graph.parser));

    // Pins cannot be disconnected while the graph is active.
    IPin* in = FindPin(graph.parser, PINDIR_INPUT);
    EXPECT_EQ(VFW_E_NOT_STOPPED, in->Disconnect());

    ASSERT_EQ(S_OK, graph.control->Stop());
    EXPECT_EQ(State_Stopped, ParserState(graph.parser));

    // Stopped, the input can go and come back; the output's type follows the new file.
    IPin* sourceOut = FindPin(graph.source, PINDIR_OUTPUT);
    IPin* out = FindPin(graph.parser, PINDIR_OUTPUT);
    IPin* decoderIn = FindPin(graph.decoder, PINDIR_INPUT);
    EXPECT_EQ(S_OK, graph.graph->Disconnect(out));
    EXPECT_EQ(S_OK, graph.graph->Disconnect(decoderIn));
    EXPECT_EQ(S_OK, graph.graph->Disconnect(in));
    EXPECT_EQ(S_OK, graph.graph->Disconnect(sourceOut));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.graph->ConnectDirect(out, decoderIn, nullptr));
    {
        // While the output stays connected, a file of another type is refused at the input.
        EXPECT_EQ(S_OK, graph.graph->ConnectDirect(sourceOut, in, nullptr));
        EXPECT_EQ(S_OK, graph.graph->ConnectDirect(out, decoderIn, nullptr));
        TestGraph other;
        ASSERT_EQ(S_OK, other.Create(WinePath(FixturePath("mpeg2.mp3"))));
        IPin* otherOut = FindPin(other.source, PINDIR_OUTPUT);
        ASSERT_EQ(S_OK, other.graph->RemoveFilter(other.source));
        ASSERT_EQ(S_OK, graph.graph->AddFilter(other.source, L"other source"));
        EXPECT_EQ(S_OK, graph.graph->Disconnect(in));
        EXPECT_EQ(S_OK, graph.graph->Disconnect(sourceOut));
        EXPECT_TRUE(FAILED(graph.graph->ConnectDirect(otherOut, in, nullptr)));
        otherOut->Release();
        EXPECT_EQ(S_OK, graph.graph->RemoveFilter(other.source));
        EXPECT_EQ(S_OK, graph.graph->Disconnect(out));
        EXPECT_EQ(S_OK, graph.graph->Disconnect(decoderIn));
    }
    EXPECT_EQ(S_OK, graph.graph->ConnectDirect(sourceOut, in, nullptr));
    EXPECT_EQ(S_OK, graph.graph->ConnectDirect(out, decoderIn, nullptr));
    EXPECT_TRUE(SUCCEEDED(graph.control->Run()));
    Sleep(200);
    EXPECT_EQ(S_OK, graph.control->Stop());
    sourceOut->Release();
    out->Release();
    decoderIn->Release();
    in->Release();
}

// Wine's graph manager, decoder and renderer keep a few handles of every graph that ever
// existed (about four per graph here, whatever the splitter), so the parser's share is the
// difference between cycles that play through it and cycles that only assemble the same
// filters unconnected.
long CycleGrowth(void (*cycle)(const std::wstring&, int), const std::wstring& path, long* threadGrowth) {
    for (int n = 0; n < kWarmUpCycles; ++n) cycle(path, n);
    Sleep(500);
    const long threadsBefore = static_cast<long>(ProcessThreadCount());
    const long handlesBefore = static_cast<long>(ProcessHandleCount());
    EXPECT_GT(threadsBefore, 0);
    EXPECT_GT(handlesBefore, 0);
    for (int n = 0; n < kCycles && !testing::Test::HasFatalFailure(); ++n) cycle(path, n);
    Sleep(500);
    *threadGrowth = static_cast<long>(ProcessThreadCount()) - threadsBefore;
    return static_cast<long>(ProcessHandleCount()) - handlesBefore;
}

void AssembleOnly(const std::wstring& path, int) {
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Create(path));
    ASSERT_EQ(S_OK, CoCreateInstance(kMp3DecoderClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(&graph.decoder)));
    graph.renderer = FindDirectSoundRenderer();
    ASSERT_NE(nullptr, graph.renderer);
    ASSERT_EQ(S_OK, graph.graph->AddFilter(graph.decoder, L"decoder"));
    ASSERT_EQ(S_OK, graph.graph->AddFilter(graph.renderer, L"renderer"));
}

// Connects, plays briefly (which starts and stops the delivery thread), seeks in every
// other cycle, and tears down.
void PlayAndSeek(const std::wstring& path, int n) {
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Build(path)) << "cycle " << n;
    ASSERT_TRUE(SUCCEEDED(graph.control->Run())) << "cycle " << n;
    OAFilterState state;
    graph.control->GetState(kStateTimeoutMs, &state);
    if (n % 2) {
        LONGLONG target = 5 * 10000000LL;
        graph.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    }
}

TEST(ParserLifecycle, ManyGraphCyclesLeaveThreadAndHandleCountsFlat) {
    const std::wstring path = WinePath(FixturePath("cbr128.mp3"));
    long baselineThreads = 0, playingThreads = 0;
    const long baseline = CycleGrowth(AssembleOnly, path, &baselineThreads);
    const long playing = CycleGrowth(PlayAndSeek, path, &playingThreads);
    std::printf("handle growth over %d cycles: assembled only %ld, playing through the parser %ld\n", kCycles, baseline,
                playing);
    EXPECT_LE(playing - baseline, kHandleSlack);
    EXPECT_LE(playingThreads, kThreadSlack);
}

// Filters that played, were sought and torn down, or whose input saw a non-MP3 file, go
// away completely (no reference is left behind anywhere): the module can be unloaded.
TEST(ParserLifecycle, ModuleUnloadsWhenTheLastObjectIsReleased) {
    {
        TestGraph graph;
        EXPECT_EQ(S_OK, graph.Create(WinePath(FixturePath("notmp3.mp3"))));
        EXPECT_TRUE(FAILED(graph.ConnectSource()));
    }
    {
        TestGraph graph;
        ASSERT_EQ(S_OK, graph.Build(WinePath(FixturePath("speech.mp3"))));
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        Sleep(300);
        LONGLONG target = 10000000;
        EXPECT_EQ(S_OK, graph.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                                    AM_SEEKING_NoPositioning));
        IMediaSeeking* seeking = graph.ParserSeeking();
        ASSERT_NE(nullptr, seeking);
        seeking->Release();
        graph.TearDown();
    }
    {
        // Removed from a paused graph without being stopped first: the graph stops what it
        // disconnects, and the delivery thread ends with it.
        const DWORD threadsBefore = ProcessThreadCount();
        TestGraph graph;
        ASSERT_EQ(S_OK, graph.Build(WinePath(FixturePath("vbr.mp3"))));
        ASSERT_TRUE(SUCCEEDED(graph.control->Pause()));
        OAFilterState state;
        graph.control->GetState(kStateTimeoutMs, &state);
        graph.TearDown(false);
        Sleep(300);
        EXPECT_LE(static_cast<long>(ProcessThreadCount()) - static_cast<long>(threadsBefore), kThreadSlack);
    }
    HMODULE module = GetModuleHandleW(L"mp3parser.ax");
    ASSERT_NE(nullptr, module);
    auto canUnload =
        reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, canUnload);
    EXPECT_EQ(S_OK, canUnload());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(kParserClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, canUnload());
    // The lock is on the module, not on the factory object that was released.
    ASSERT_EQ(S_OK, CoGetClassObject(kParserClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    IUnknown* outer = reinterpret_cast<IUnknown*>(factory);
    IBaseFilter* aggregated = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&aggregated)));
    factory->Release();
    EXPECT_EQ(S_OK, canUnload());
}

}  // namespace
}  // namespace parser_test
