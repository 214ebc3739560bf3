// Common ground of the playback graph tests: the fixtures, the two splitter kinds, and a
// holder that always stops and closes its graph.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/win/playback/graph_test_support.h"
#include "tests/win/support/test_support.h"

// Every fixture that is an MP3 file a player should play.
inline const wchar_t* const validFixtures[] = {L"cbr128.mp3",    L"vbr.mp3",     L"mpeg2.mp3",
                                               L"mpeg25.mp3",    L"speech.mp3",  L"bigtag.mp3",
                                               L"truncated.mp3", L"garbage.mp3", L"long.mp3"};
// Files no build may accept: not MP3 at all, zero bytes, and a path that does not exist.
inline const wchar_t* const invalidFixtures[] = {L"notmp3.mp3", L"empty.mp3", L"no-such-file.mp3"};
inline const SplitterKind bothKinds[] = {PreferredParser, Mpeg1Splitter};

// The first graph of a new Wine prefix builds the GStreamer registry (~15 s); anything near
// this long is a hang.
constexpr DWORD openTimeoutMs = 120000;
constexpr DWORD settleTimeoutMs = 10000;

// The test's stand-in for the main window, and the message the graphs post to it.
HWND GraphNotifyWindow();
constexpr UINT graphTestMessage = WM_APP + 100;
// Graph event messages the graph posted to the test's main window since the last reset.
int GraphMessagesReceived();
void ResetGraphMessages();

std::string Narrow(const std::wstring& text);
// "cbr128_Mpeg1Splitter": a gtest parameter name (letters, digits and '_' only).
std::string CaseLabel(const wchar_t* fixture, SplitterKind kind);

using FixtureAndKind = std::tuple<const wchar_t*, SplitterKind>;
struct FixtureAndKindName {
    std::string operator()(const ::testing::TestParamInfo<FixtureAndKind>& info) const {
        return CaseLabel(std::get<0>(info.param), std::get<1>(info.param));
    }
};
struct KindParamName {
    std::string operator()(const ::testing::TestParamInfo<SplitterKind>& info) const {
        return Narrow(KindName(info.param));
    }
};

// Owns one PlaybackGraph as AppState would: opened once, stopped and closed at the end.
class GraphHolder {
public:
    GraphHolder() = default;
    GraphHolder(const GraphHolder&) = delete;
    GraphHolder& operator=(const GraphHolder&) = delete;
    ~GraphHolder() { Close(); }

    HRESULT Open(const wchar_t* fixture, SplitterKind kind) { return OpenPath(FixturePath(fixture), kind); }
    HRESULT OpenPath(const std::wstring& path, SplitterKind kind) {
        HangGuard guard(L"PlaybackGraph::Open(" + path + L", " + KindName(kind) + L")", openTimeoutMs);
        return graph.Open(path.c_str(), kind);
    }
    void Close() {
        if (!graph.built) return;
        HangGuard guard(L"stopping and closing a graph", openTimeoutMs);
        graph.Stop();
        graph.Close();
    }

    PlaybackGraph graph{GraphNotifyWindow(), graphTestMessage};
};
