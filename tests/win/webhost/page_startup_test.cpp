// The page inside the running program: created at start-up in the control panel, placed at
// every resize of the panel, released when the program shuts down; and start-up without a
// usable browser control.
#include "tests/win/app/app_fixture.h"
#include "tests/win/webhost/webhost_test_support.h"
#include "webhost/browser_host.h"
#include "webhost/browser_host_record.h"

#include <cstdio>
#include <optional>

namespace {

// Start-up as a test chooses the recording browser to fail, and shutdown unless it has happened.
class PageStartupTest : public ProgramTest {
protected:
    void StartWith(int failure) {
        RecordingBrowserReset(failure);
        started_ = true;
        ProgramTest::SetUp();
    }
    void SetUp() override {}
    void TearDown() override {
        if (started_) ProgramTest::TearDown();
        started_ = false;
    }
    bool started_ = false;
};

TEST_F(PageStartupTest, ShowsTheStartPageAndReleasesTheBrowserAtExit) {
    RecordingBrowserScope scope;
    ASSERT_TRUE(scope.Active());
    DialogAnswerer answerer;
    StartWith(FailNothing);
    ASSERT_TRUE(theApp.browserWindow);
    EXPECT_EQ(theApp.controlPanel, GetParent(theApp.browserWindow));
    std::wstring log = RecordingBrowserLog();
    EXPECT_NE(std::wstring::npos, log.find(L"Navigate2 http://127.0.0.1:9/tolk/ad.htm others null\n")) << log;

    RecordingBrowserReset(FailNothing);
    SetWindowPos(theApp.controlPanel, nullptr, 0, 0, 716, 98, SWP_NOZORDER | SWP_NOMOVE);
    RECT page = {};
    GetWindowRect(theApp.browserWindow, &page);
    MapWindowPoints(nullptr, theApp.controlPanel, reinterpret_cast<POINT*>(&page), 2);
    RECT expected = {355, 5, 713, 93};  // 358 x 88: the panel's width less 358, its height less 10
    EXPECT_TRUE(EqualRect(&expected, &page)) << page.left << "," << page.top << "," << page.right << "," << page.bottom;
    // The control inside takes the host's client area, within its two-pixel sunken edge.
    EXPECT_EQ(L"put_Height 84\nput_Width 354\nRelease 1\n", std::wstring(RecordingBrowserLog()));

    RecordingBrowserReset(FailNothing);
    theApp.Exit();
    EXPECT_EQ(L"Close 1\nsite Release 1\nRelease 0\nframe Release 1\n", std::wstring(RecordingBrowserLog()));
    EXPECT_EQ(nullptr, theApp.browserWindow);
    EXPECT_TRUE(answerer.Shown().empty());
}

TEST_F(PageStartupTest, WithoutAUsableBrowserStartupShowsTheMainWindowAndNothingElse) {
    RecordingBrowserScope scope;
    ASSERT_TRUE(scope.Active());
    // With FailNothing the browser would work, but there is no memory for the host record.
    for (int failure :
         {FailNothing, FailNoFactory, FailCreateInstance, FailSetClientSite, FailDoVerb, FailNoWebBrowser2}) {
        SCOPED_TRACE(failure);
        std::optional<NoMemoryForHostRecord> noMemory;
        if (failure == FailNothing) {
            ASSERT_TRUE(noMemory.emplace().Active());
        }
        DialogAnswerer answerer;
        StartWith(failure);
        EXPECT_EQ(nullptr, theApp.browserWindow);
        if (noMemory) {
            EXPECT_EQ(1, noMemory->Refused());
        }
        EXPECT_TRUE(IsWindowVisible(theApp.mainWindow));
        PumpMessages(100);
        EXPECT_EQ(L"", OtherVisibleWindows(theApp.mainWindow));
        EXPECT_TRUE(answerer.Shown().empty());
        TearDown();
    }
}

// Wine's own web-browser object, with its HTML engine disabled in the test prefix: what it does
// is measured and printed; the program must start and end as usual and show nothing else.
TEST_F(PageStartupTest, WinesOwnBrowserLetsStartupCompleteSilently) {
    DialogAnswerer answerer;
    DWORD started = GetTickCount();
    StartWith(FailNothing);
    DWORD startupMs = GetTickCount() - started;
    PumpMessages(1000);
    std::printf("Wine's browser: start-up %lu ms, page window %s\n", static_cast<unsigned long>(startupMs),
                theApp.browserWindow ? "created" : "not created");
    EXPECT_TRUE(IsWindowVisible(theApp.mainWindow));
    EXPECT_EQ(L"", OtherVisibleWindows(theApp.mainWindow));
    EXPECT_TRUE(answerer.Shown().empty());

    // Wine's browser module counts its live objects: none may be left once the program has shut down.
    using CanUnloadNow = HRESULT(WINAPI*)();
    HMODULE ieframe = GetModuleHandleW(L"ieframe.dll");
    FARPROC exported = ieframe ? GetProcAddress(ieframe, "DllCanUnloadNow") : nullptr;
    auto canUnload = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(exported));
    if (theApp.browserWindow) {
        ASSERT_TRUE(canUnload);
        EXPECT_EQ(S_FALSE, canUnload());
        SetWindowPos(theApp.controlPanel, nullptr, 0, 0, 716, 98, SWP_NOZORDER | SWP_NOMOVE);
    }
    theApp.Exit();
    PumpMessages(200);
    if (canUnload) {
        HRESULT unload = canUnload();
        std::printf("Wine's browser: after shutdown its module %s\n",
                    unload == S_OK ? "holds no object" : "still holds objects");
        EXPECT_EQ(S_OK, unload);
    }
}

}  // namespace
