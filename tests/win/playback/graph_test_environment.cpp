// Process-wide set-up of the playback tests: OLE in this (the test) thread, as the program
// has it, and a real top-level window standing in the main window that the graph notifies.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "tests/win/playback/graph_tests.h"

namespace {

const wchar_t testWindowClass[] = L"ClipvanePlaybackTestWindow";
int graphMessages = 0;
HWND notifyWindow = nullptr;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == graphTestMessage) {
        ++graphMessages;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class GraphTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = testWindowClass;
        RegisterClassW(&windowClass);
        notifyWindow = CreateWindowExW(0, testWindowClass, L"playback test", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(notifyWindow, nullptr) << "no window: is there a display?";
    }
    void TearDown() override {
        DestroyWindow(notifyWindow);
        notifyWindow = nullptr;
        OleUninitialize();
    }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new GraphTestEnvironment);

// Arms a HangGuard for every test, so that a graph that deadlocks anywhere in a test (Wine 8's
// decoder can, on Stop) fails the run with the test's name instead of at the CTest timeout.
class HangWatch : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& test) override {
        std::wstring name;
        for (const char* c = test.test_suite_name(); *c; ++c) name += static_cast<wchar_t>(*c);
        name += L".";
        for (const char* c = test.name(); *c; ++c) name += static_cast<wchar_t>(*c);
        guard_ = std::make_unique<HangGuard>(L"test " + name, testTimeoutMs);
    }
    void OnTestEnd(const ::testing::TestInfo&) override { guard_.reset(); }

private:
    static constexpr DWORD testTimeoutMs = 240000;
    std::unique_ptr<HangGuard> guard_;
};

struct HangWatchInstaller {
    HangWatchInstaller() { ::testing::UnitTest::GetInstance()->listeners().Append(new HangWatch); }
} hangWatchInstaller;

}  // namespace

HWND GraphNotifyWindow() { return notifyWindow; }
int GraphMessagesReceived() { return graphMessages; }
void ResetGraphMessages() { graphMessages = 0; }

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::string CaseLabel(const wchar_t* fixture, SplitterKind kind) {
    std::string label;
    for (const wchar_t* c = fixture; *c && *c != L'.'; ++c) label += iswalnum(*c) ? static_cast<char>(*c) : '_';
    return label + "_" + Narrow(KindName(kind));
}
