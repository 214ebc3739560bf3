// The timeline bar and the A-B display with the whole program running: pixels read back from
// the windows, mouse messages sent to them as the system would.
#include "logic/panel_geometry.h"
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"

namespace {

constexpr COLORREF dark = RGB(70, 70, 70);
constexpr COLORREF light = RGB(220, 220, 220);
constexpr COLORREF white = RGB(255, 255, 255);
// The flags are drawn with SRCAND: their colour shows as it combines with the bar's face.
COLORREF OnFace(COLORREF colour) { return colour & GetSysColor(COLOR_BTNFACE); }

class FacePanelTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        std::wstring copy = MakeTempFolder(L"clipvane-face") + L"\\cbr128.mp3";
        ASSERT_TRUE(CopyFileW(FixturePath(L"cbr128.mp3").c_str(), copy.c_str(), FALSE));
        theApp.OpenFile(copy.c_str());
        ASSERT_TRUE(theApp.loaded);
        theApp.TogglePlay();  // paused: the position stays where a test puts it
        ASSERT_EQ(Paused, theApp.playState);
        stop = theApp.graph->GetStopMs();
        ASSERT_GT(stop, 0);
    }
    static RECT Client(HWND window) {
        RECT client = {};
        GetClientRect(window, &client);
        return client;
    }
    static COLORREF Pixel(HWND window, int x, int y) {
        HDC dc = GetDC(window);
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return colour;
    }
    // Non-white pixels inside a rectangle of the window.
    static int Ink(HWND window, RECT box) {
        HDC dc = GetDC(window);
        int count = 0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) count += GetPixel(dc, x, y) != white;
        ReleaseDC(window, dc);
        return count;
    }
    static void Send(HWND window, UINT message, int x, int y) {
        SendMessageW(window, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
    }
    int L() const { return TrackLength(Client(theApp.timelineBar).right); }
    int stop = 0;
};

TEST_F(FacePanelTest, ThePlayedPartEndsAtThePositionWhereTheThumbTipStands) {
    HWND bar = theApp.timelineBar;
    for (int position : {0, stop / 3, stop}) {
        theApp.graph->SeekMs(position);
        theApp.RefreshPanels();
        int p = PositionToPixel(theApp.graph->GetPositionMs(), stop, L());
        SCOPED_TRACE(position);
        EXPECT_EQ(dark, Pixel(bar, 15 + p, 16));
        if (p < L()) {
            EXPECT_EQ(light, Pixel(bar, 16 + p, 16));
        }
        EXPECT_EQ(RGB(0, 0, 0), Pixel(bar, 15 + p, 19)) << "thumb tip";
        EXPECT_NE(RGB(0, 0, 0), Pixel(bar, 14 + p, 19));
    }
}

// The A flag's staff is its rightmost column, the B flag's its leftmost: both on the point's column.
TEST_F(FacePanelTest, TheFlagsStandOnTheirPointsAndBackToBack) {
    HWND bar = theApp.timelineBar;
    struct Case {
        int a, b;
    } cases[] = {{stop / 4, stop / 2}, {stop / 3, stop / 3}};
    for (const Case& c : cases) {
        theApp.pointA = c.a;
        theApp.pointB = c.b;
        theApp.RefreshPanels();
        int pa = 15 + PositionToPixel(c.a, stop, L()), pb = 15 + PositionToPixel(c.b, stop, L());
        SCOPED_TRACE(c.b);
        if (pa != pb) {
            for (int y = 4; y < 14; ++y) EXPECT_EQ(OnFace(RGB(255, 0, 0)), Pixel(bar, pa, y)) << y;
            for (int y = 4; y < 14; ++y) EXPECT_EQ(OnFace(RGB(0, 0, 255)), Pixel(bar, pb, y)) << y;
        }
        int redLeft = 0, blueRight = 0;
        for (int y = 4; y < 14; ++y) {
            redLeft += Pixel(bar, pa - 3, y) == OnFace(RGB(255, 0, 0));
            blueRight += Pixel(bar, pb + 3, y) == OnFace(RGB(0, 0, 255));
        }
        EXPECT_GT(redLeft, 0) << "A's letter left of its staff";
        EXPECT_GT(blueRight, 0) << "b's letter right of its staff";
    }
    theApp.Stop();
    theApp.RefreshPanels();
    for (int y = 4; y < 14; ++y)
        EXPECT_EQ(GetSysColor(COLOR_BTNFACE), Pixel(bar, 15 + PositionToPixel(stop / 3, stop, L()), y))
            << "no flags when stopped";
}

TEST_F(FacePanelTest, AClickBesideTheTrackSeeksToItsEnds) {
    HWND bar = theApp.timelineBar;
    struct Case {
        int x;
        int expected;
    } cases[] = {{15 - 6, 0}, {15 - 1, 0}, {15 + L() + 6, stop}, {15 + L() / 2, PixelToPosition(L() / 2, stop, L())}};
    for (const Case& c : cases) {
        theApp.graph->SeekMs(stop / 3);  // away from the thumb, which would start a drag
        Send(bar, WM_LBUTTONDOWN, c.x, 16);
        Send(bar, WM_LBUTTONUP, c.x, 16);
        EXPECT_NEAR(c.expected, theApp.graph->GetPositionMs(), 30) << c.x;
        EXPECT_EQ(nullptr, GetCapture());
    }
}

TEST_F(FacePanelTest, AThumbDragFollowsTheMouseAndSeeksOnlyOnRelease) {
    HWND bar = theApp.timelineBar;
    theApp.graph->SeekMs(0);
    theApp.RefreshPanels();
    Send(bar, WM_LBUTTONDOWN, 15, 25);
    ASSERT_EQ(bar, GetCapture());
    Send(bar, WM_MOUSEMOVE, 65, 25);
    EXPECT_EQ(RGB(0, 0, 0), Pixel(bar, 65, 19)) << "thumb moved";
    int labelInk = 0;
    for (int x = 77; x < 150; ++x)
        for (int y = 22; y < 36; ++y) labelInk += Pixel(bar, x, y) == RGB(0, 0, 0);
    EXPECT_GT(labelInk, 20) << "the label right of the thumb";
    EXPECT_LT(theApp.graph->GetPositionMs(), 30) << "nothing sought before release";

    // Far past the right end (and past the window), then back by 10: 10 pixels left of the end.
    Send(bar, WM_MOUSEMOVE, 5000, 25);
    Send(bar, WM_MOUSEMOVE, 4990, 25);
    Send(bar, WM_LBUTTONUP, 4990, 25);
    EXPECT_NEAR(PixelToPosition(L() - 10, stop, L()), theApp.graph->GetPositionMs(), 30);
    EXPECT_EQ(nullptr, GetCapture());
    int p = PositionToPixel(theApp.graph->GetPositionMs(), stop, L());
    EXPECT_NEAR(L() - 10, p, 1);
    EXPECT_EQ(RGB(0, 0, 0), Pixel(bar, 15 + p, 19));

    // Left of the window (low words from 32763 up), then a capture loss commits the drag.
    Send(bar, WM_LBUTTONDOWN, 15 + p, 25);
    ASSERT_EQ(bar, GetCapture());
    SendMessageW(bar, WM_MOUSEMOVE, 0, MAKELPARAM(65535 - 20, 25));  // x = -21: the thumb at 0
    SendMessageW(bar, WM_MOUSEMOVE, 0, MAKELPARAM(65535 - 15, 25));  // 5 back: at 5 at once
    EXPECT_NEAR(PixelToPosition(L() - 10, stop, L()), theApp.graph->GetPositionMs(), 30);
    ReleaseCapture();
    EXPECT_NEAR(PixelToPosition(5, stop, L()), theApp.graph->GetPositionMs(), 30);
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(FacePanelTest, TheABDisplayShowsTheBoxesForEachState) {
    HWND panel = theApp.abPanel;
    RECT c = Client(panel);
    int w = c.right, h = c.bottom;
    RECT position = {w / 6, h / 4, w / 2 - 32, h / 2}, length = {w / 6, h / 2, w / 2 - 32, h - h / 4};
    RECT a = {w / 2 + 32, h / 4, w - w / 6, h / 2}, b = {w / 2 + 32, h / 2, w - w / 6, h - h / 4};
    RECT button = {w / 2 - 32, h / 2 - 32, w / 2 + 32, h / 2 + 32};
    struct Case {
        int state, a, b;
        bool aInk, bInk, buttonInk;
    } cases[] = {{Stopped, -1, -1, false, false, true},
                 {Paused, 62345, -1, true, false, true},
                 {Playing, 1000, 2000, true, true, false}};
    for (const Case& k : cases) {
        theApp.playState = k.state;
        theApp.pointA = k.a;
        theApp.pointB = k.b;
        theApp.RefreshPanels();
        SCOPED_TRACE(k.state);
        EXPECT_GT(Ink(panel, position), 50);
        EXPECT_GT(Ink(panel, length), 50);
        EXPECT_EQ(k.aInk, Ink(panel, a) > 50);
        EXPECT_EQ(k.bInk, Ink(panel, b) > 50);
        EXPECT_EQ(k.buttonInk, Ink(panel, button) > 50);
    }
    theApp.playState = Paused;
    theApp.CloseFile();
    EXPECT_GT(Ink(panel, RECT{8, 8, w - 8, 40}), 50) << "the no-file message";
    EXPECT_GT(Ink(panel, RECT{w / 2 - 57, 45, w / 2 + 57, 45 + 69}), 500) << "the shortcut picture";
    EXPECT_EQ(0, Ink(panel, RECT{0, 45 + 69, w, h})) << "nothing below it";
}

TEST_F(FacePanelTest, ThePlayButtonAnswersInsideItsHotSquareOnly) {
    HWND panel = theApp.abPanel;
    RECT c = Client(panel);
    int w = c.right, h = c.bottom;
    struct Case {
        int x, y;
        BOOL hand;
    } cases[] = {{w / 2 - 32, h / 2 - 32, TRUE},
                 {w / 2 + 31, h / 2 + 31, TRUE},
                 {w / 2 + 32, h / 2, FALSE},
                 {w / 2, h / 2 + 32, FALSE}};
    for (const Case& k : cases) {
        POINT screen = {k.x, k.y};
        ClientToScreen(panel, &screen);
        SetCursorPos(screen.x, screen.y);
        PumpMessages(20);
        POINT now = {};
        GetCursorPos(&now);
        ASSERT_EQ(screen.x, now.x) << "the cursor could not be placed";
        EXPECT_EQ(k.hand, static_cast<BOOL>(SendMessageW(panel, WM_SETCURSOR, reinterpret_cast<WPARAM>(panel),
                                                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE))))
            << k.x << "," << k.y;
    }
    Send(panel, WM_LBUTTONDOWN, w / 2 - 32, h / 2 - 32);
    EXPECT_EQ(Playing, theApp.playState) << "a click in the square resumes";
}

}  // namespace
