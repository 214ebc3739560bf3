// The page host's contract with the browser control, read from the recording browser's log.
#include "tests/win/webhost/webhost_test_support.h"

#include "app/app_state.h"
#include "tests/win/support/test_support.h"
#include "webhost/browser_host.h"
#include "webhost/browser_host_record.h"

#include <gtest/gtest.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <cwchar>
#include <optional>

namespace {

const wchar_t testAddress[] = L"http://127.0.0.1:9/tolk/ad.htm";

std::wstring Lines(std::initializer_list<std::wstring> lines) {
    std::wstring joined;
    for (const std::wstring& line : lines) joined += line + L"\n";
    return joined;
}

std::wstring HandleText(HWND window) {
    wchar_t text[16] = {};
    swprintf(text, 16, L"%08lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    return text;
}

int Occurrences(const std::wstring& text, const std::wstring& line) {
    int count = 0;
    for (size_t at = text.find(line); at != std::wstring::npos; at = text.find(line, at + 1)) count++;
    return count;
}

class BrowserHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        OleInitialize(nullptr);
        ASSERT_TRUE(scope_.Active());
        RecordingBrowserReset(FailNothing);
        panel_ = CreatePanelStandIn(nullptr);
        ASSERT_TRUE(panel_);
    }
    void TearDown() override {
        DestroyWindow(panel_);
        theApp.browserWindow = nullptr;
        EXPECT_EQ(0, RecordingBrowserLiveObjects()) << RecordingBrowserLog();
        OleUninitialize();
    }
    HWND CreateHost() {
        return theApp.browserWindow = CreateBrowserHost(GetModuleHandleW(nullptr), panel_, testAddress);
    }

    RecordingBrowserScope scope_;
    HWND panel_ = nullptr;
};

TEST_F(BrowserHostTest, EmbedsNavigatesShowsResizesAndUnembedsOnce) {
    HWND host = CreateHost();
    ASSERT_TRUE(host);
    wchar_t className[64] = {};
    GetClassNameW(host, className, 64);
    EXPECT_STREQ(L"CLIPVANE_HTMLPage", className);
    EXPECT_EQ(panel_, GetParent(host));
    EXPECT_EQ(WS_EX_CLIENTEDGE, GetWindowLongPtrW(host, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(WS_CHILD | WS_VISIBLE, GetWindowLongPtrW(host, GWL_STYLE) & ~(WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    wchar_t hostInfo[96] = {};
    swprintf(hostInfo, 96, L"GetHostInfo 00000000 size %u flags 4 double-click 0 style sheet untouched",
             static_cast<unsigned>(sizeof(DOCHOSTUIINFO)));
    EXPECT_EQ(Lines({
                  L"CreateInstance alone",
                  L"factory Release",
                  L"SetClientSite site",
                  L"site AddRef 1",
                  L"site QueryInterface IUnknown 00000000 client site",
                  L"site Release 1",
                  L"site QueryInterface IOleClientSite 00000000 client site",
                  L"site Release 1",
                  L"site QueryInterface IOleInPlaceSite 00000000 other",
                  L"site Release 1",
                  L"site QueryInterface IDocHostUIHandler 00000000 other",
                  hostInfo,
                  L"ShowContextMenu 00000000",
                  L"site Release 1",
                  L"site QueryInterface IOleContainer 80004002 null",
                  L"SetHostNames My Host Name (null)",
                  L"DoVerb -1 message null site own index -1 window " + HandleText(host) + L" rect 0,0,0,0",
                  L"CanInPlaceActivate 00000000",
                  L"OnInPlaceActivate 00000000",
                  L"GetWindow host",
                  L"GetWindowContext 00000000 frame set document null MDI 0 frame window host accelerators null 0 "
                  L"rects untouched",
                  L"frame GetWindow host QueryInterface 80004001 null SetStatusText 00000000",
                  L"OnUIActivate 00000000",
                  L"SetObjectRects 0,0,300,80 clip 0,0,300,80",
                  L"Release 1",
                  L"OnPosRectChange 00000000",
                  L"site Release 1",
                  L"put_Left 0",
                  L"put_Top 0",
                  L"put_Width 0",
                  L"put_Height 0",
                  L"Release 1",
                  L"put_Height 0",
                  L"put_Width 0",
                  L"Release 1",  // the WM_SIZE of the window's creation
                  std::wstring(L"Navigate2 ") + testAddress + L" others null",
                  L"Release 1",
              }),
              RecordingBrowserLog());

    // Every placement by the panel reaches the browser as the host's client size; a panel too
    // narrow for the page gives it width 0.
    struct {
        int width, height;
        RECT placed;
    } placements[] = {
        {500, 60, {355, 5, 497, 55}},
        {720, 98, {355, 5, 717, 93}},
        {300, 98, {355, 5, 355, 93}},
    };
    for (const auto& placement : placements) {
        SCOPED_TRACE(placement.width);
        RecordingBrowserReset(FailNothing);
        SetWindowPos(panel_, nullptr, 0, 0, placement.width, placement.height, SWP_NOZORDER | SWP_NOMOVE);
        RECT placed = {};
        GetWindowRect(host, &placed);
        MapWindowPoints(nullptr, panel_, reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_TRUE(EqualRect(&placement.placed, &placed));
        RECT client = {};
        GetClientRect(host, &client);
        EXPECT_EQ(Lines({L"put_Height " + std::to_wstring(client.bottom), L"put_Width " + std::to_wstring(client.right),
                         L"Release 1"}),
                  RecordingBrowserLog());
    }

    RecordingBrowserReset(FailNothing);
    UnembedBrowser(host);
    UnembedBrowser(host);
    DestroyWindow(host);
    EXPECT_EQ(Lines({L"Close 1", L"site Release 1", L"Release 0", L"frame Release 1"}), RecordingBrowserLog());
}

// As Wine's browser does when the page is still loading at shutdown.
TEST_F(BrowserHostTest, ABrowserThatOutlivesItsWindowStillFindsItsContainer) {
    HWND host = CreateHost();
    ASSERT_TRUE(host);
    BrowserHost* record = BrowserHostOf(host);
    IOleObject* browser = record->browser;
    browser->AddRef();
    RecordingBrowserReset(FailNothing);
    DestroyWindow(host);
    EXPECT_EQ(sizeof(BrowserHost), GlobalSize(record));
    EXPECT_EQ(0u, browser->Release());
    EXPECT_EQ(Lines({L"Close 1", L"site Release 1", L"Release 1", L"Release 0", L"frame Release 1"}),
              RecordingBrowserLog());
}

TEST_F(BrowserHostTest, AFailedEmbeddingLeavesNoWindowNoRecordAndNothingReleasedTwice) {
    struct {
        bool noMemory;
        int failure, code;
        int closes, lastReleases;
    } cases[] = {
        {true, FailNothing, NoHostRecord, 0, 0},
        {false, FailNoFactory, NoBrowserFactory, 0, 0},
        {false, FailCreateInstance, BrowserNotCreated, 0, 0},
        {false, FailSetClientSite, BrowserNotActivated, 1, 1},
        {false, FailDoVerb, BrowserNotActivated, 1, 1},
        {false, FailNoWebBrowser2, BrowserNotActivated, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        RecordingBrowserReset(c.failure);
        std::optional<NoMemoryForHostRecord> noMemory;
        if (c.noMemory) {
            ASSERT_TRUE(noMemory.emplace().Active());
        }
        EXPECT_EQ(nullptr, CreateHost());
        EXPECT_EQ(nullptr, FindWindowExW(panel_, nullptr, browserHostClass, nullptr));

        HWND plain = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD, 0, 0, 10, 10, panel_, nullptr, nullptr, nullptr);
        EXPECT_EQ(c.code, EmbedBrowser(plain));
        EXPECT_EQ(0, GetWindowLongPtrW(plain, GWLP_USERDATA));
        UnembedBrowser(plain);
        DestroyWindow(plain);

        std::wstring log = RecordingBrowserLog();
        EXPECT_EQ(2 * c.closes, Occurrences(log, L"Close 1\n")) << log;
        EXPECT_EQ(2 * c.lastReleases, Occurrences(log, L"Release 0\n")) << log;
        EXPECT_EQ(0, Occurrences(log, L"Navigate2")) << log;
        EXPECT_EQ(0, RecordingBrowserLiveObjects()) << log;
        if (!c.noMemory) continue;
        // Without a record the browser is never asked for.
        EXPECT_EQ(L"", log);
        EXPECT_EQ(2, noMemory->Refused());
    }
}

TEST_F(BrowserHostTest, NavigationAndResizingWithoutAWebBrowserReportOrDoNothing) {
    HWND host = CreateHost();
    ASSERT_TRUE(host);
    RecordingBrowserReset(FailNothing);
    EXPECT_EQ(AddressNotCopied, NavigateBrowser(host, nullptr));
    EXPECT_EQ(L"Release 1\n", std::wstring(RecordingBrowserLog()));

    RecordingBrowserReset(FailNoWebBrowser2);
    EXPECT_EQ(NoWebBrowser2, NavigateBrowser(host, testAddress));
    ResizeBrowser(host, 100, 50);
    EXPECT_EQ(L"", std::wstring(RecordingBrowserLog()));

    // A window that never had a browser.
    HWND plain = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD, 0, 0, 10, 10, panel_, nullptr, nullptr, nullptr);
    EXPECT_EQ(NoWebBrowser2, NavigateBrowser(plain, testAddress));
    ResizeBrowser(plain, 100, 50);
    DestroyWindow(plain);
    EXPECT_EQ(L"", std::wstring(RecordingBrowserLog()));
}

}  // namespace
