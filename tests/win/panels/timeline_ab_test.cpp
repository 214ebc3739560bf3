// The timeline bar and the A-B display with the whole program running: the pictures read back
// from the windows against pictures composed by hand, the cursor and the clicks by state.
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"
#include "tests/win/panels/panel_picture.h"

namespace {

constexpr COLORREF dark = RGB(70, 70, 70);
constexpr COLORREF light = RGB(220, 220, 220);
// cbr128.mp3 lasts 12042 ms; with the bar 754 pixels wide the track is 669 long (x 15 to 684), so
// a pixel is 18 ms: an offset t is the position 18 t ms, and 18 t + 17 ms is still pixel t.
constexpr int stopMs = 12042;
constexpr int barWidth = 754;

class FacePanelTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        SetWindowPos(theApp.mainWindow, nullptr, 0, 0, barWidth + 60, 480, SWP_NOMOVE | SWP_NOZORDER);
        std::wstring copy = MakeTempFolder(L"clipvane-face") + L"\\cbr128.mp3";
        ASSERT_TRUE(CopyFileW(FixturePath(L"cbr128.mp3").c_str(), copy.c_str(), FALSE));
        theApp.OpenFile(copy.c_str());
        ASSERT_TRUE(theApp.loaded);
        theApp.TogglePlay();  // paused: the position stays where a test puts it
        ASSERT_EQ(Paused, theApp.playState);
        ASSERT_EQ(stopMs, theApp.graph->GetStopMs());
        SetWindowPos(theApp.timelineBar, nullptr, 0, 0, barWidth, 40, SWP_NOMOVE | SWP_NOZORDER);
        clicks.Watch();
    }
    void Show(int state, int positionMs, int a, int b) {
        theApp.playState = state;
        theApp.pointA = a;
        theApp.pointB = b;
        theApp.graph->SeekMs(positionMs);
        theApp.RefreshPanels();
        PumpMessages(20);
    }
    CaptionClicks clicks;
};

void Send(HWND window, UINT message, int x, int y) {
    SendMessageW(window, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
}

// The bar as its layout draws it: the played part to column 15 + p, the A flag's staff (its
// rightmost column) and the B flag's (its leftmost) on 15 + a and 15 + b, the thumb's tip on
// 15 + thumb with the drag label 12 pixels right of it; rows 0 and 1 are the separator's.
struct Bar {
    int p;
    int a = -1, b = -1;
    int thumb = -1;
    const wchar_t* label = nullptr;
};

::testing::AssertionResult BarShows(const Bar& bar) {
    Picture picture(theApp.timelineBar, GetSysColor(COLOR_BTNFACE));
    EtchedLine(picture, 0, barWidth);
    picture.Fill({15, 14, 16 + bar.p, 19}, dark);
    picture.Fill({16 + bar.p, 14, 685, 19}, light);
    for (RECT edge : {RECT{15, 14, 685, 15}, RECT{15, 18, 685, 19}, RECT{15, 14, 16, 19}, RECT{684, 14, 685, 19}})
        picture.Fill(edge, dark);
    if (bar.a >= 0) picture.Image(IDB_FLAG_A, bar.a + 10, 4);
    if (bar.b >= 0) picture.Image(IDB_FLAG_B, bar.b + 15, 4);
    int x = bar.thumb >= 0 ? bar.thumb : bar.p;
    picture.Image(IDB_THUMB, x + 9, 19);
    if (bar.label) picture.Text(bar.label, {x + 27, 22, barWidth, 40}, DT_SINGLELINE, 10, FW_NORMAL, true);
    return picture.Shown();
}

TEST_F(FacePanelTest, TheBarShowsTrackFlagsAndThumbByState) {
    struct Case {
        const char* name;
        int state, position, a, b;
        Bar shown;
    } cases[] = {
        // 3617 ms is 200.94 pixels: truncated, not rounded.
        {"stopped, points left set", Stopped, 3617, 1800, 5400, {200}},
        {"paused with A only", Paused, 3617, 1800, -1, {200, 100}},
        {"playing with A and B", Playing, 3600, 1800, 5417, {200, 100, 300}},
        {"A and B on one pixel", Paused, 0, 2700, 2717, {0, 150, 150}},
        {"at the end", Paused, stopMs, 0, stopMs, {669, 0, 669}},
    };
    for (const Case& c : cases) {
        Show(c.state, c.position, c.a, c.b);
        EXPECT_TRUE(BarShows(c.shown)) << c.name;
    }
    theApp.CloseFile();
    EXPECT_TRUE(BarShows({0})) << "no file";
}

TEST_F(FacePanelTest, TheBarAnswersTheMouseOnlyWithAFilePlayingOrPaused) {
    HWND bar = theApp.timelineBar;
    struct Case {
        int x, y;
        bool hand;
        int seeksTo;  // -1: the click moves the main window instead
    } cases[] = {
        {9, 16, true, 0},         {14, 12, true, 0},       {15 + 300, 20, true, 5400}, {684 + 6, 16, true, stopMs},
        {8, 16, false, -1},       {691, 16, false, -1},    {300, 11, false, -1},       {300, 21, false, -1},
        // The thumb at 0 (tip on x 15) is grabbed at columns 7 to 23, rows 20 to 33.
        {7, 33, true, 0},         {23, 20, true, 0},       {24, 25, false, -1},        {6, 25, false, -1},
        {8, 34, false, -1},
    };
    for (int state : {Paused, Playing, Stopped}) {
        for (const Case& c : cases) {
            Show(state, 0, -1, -1);
            bool answers = state != Stopped;
            SCOPED_TRACE(testing::Message() << state << ": " << c.x << "," << c.y);
            EXPECT_EQ(answers && c.hand, HandAt(bar, c.x, c.y));
            int before = clicks.count;
            Send(bar, WM_LBUTTONDOWN, c.x, c.y);
            Send(bar, WM_LBUTTONUP, c.x, c.y);
            EXPECT_EQ(answers && c.seeksTo >= 0 ? c.seeksTo : 0, theApp.graph->GetPositionMs());
            EXPECT_EQ(answers && c.hand ? 0 : 1, clicks.count - before) << "moves the main window";
            EXPECT_EQ(nullptr, GetCapture());
        }
    }
    // The thumb jumps to the click at once, drawn by the bar itself.
    Show(Paused, 0, -1, -1);
    Send(bar, WM_LBUTTONDOWN, 15 + 421, 16);
    EXPECT_TRUE(BarShows({421}));
    theApp.CloseFile();
    EXPECT_FALSE(HandAt(bar, 15 + 300, 16));
    EXPECT_FALSE(HandAt(bar, 15, 25));
    int before = clicks.count;
    Send(bar, WM_LBUTTONDOWN, 15 + 300, 16);
    EXPECT_EQ(1, clicks.count - before) << "no file: the click moves the main window";
}

TEST_F(FacePanelTest, AThumbDragShowsItsTimeAndSeeksOnlyOnRelease) {
    HWND bar = theApp.timelineBar;
    Show(Paused, 0, 1800, -1);
    Send(bar, WM_LBUTTONDOWN, 15, 25);
    ASSERT_EQ(bar, GetCapture());
    EXPECT_TRUE(BarShows({0, 100, -1, 0, L"00:00:00"}));
    EXPECT_TRUE(HandAt(bar, 300, 38)) << "the hand anywhere while dragging";
    Send(bar, WM_MOUSEMOVE, 15 + 61, 25);  // 61 pixels: 1098 ms
    theApp.RefreshPanels();                 // the refresh keeps the drag's picture
    EXPECT_TRUE(BarShows({0, 100, -1, 61, L"00:00:01"}));
    EXPECT_EQ(0, theApp.graph->GetPositionMs()) << "nothing sought before release";
    Send(bar, WM_LBUTTONDOWN, 300, 16);
    EXPECT_EQ(0, theApp.graph->GetPositionMs()) << "a second press during the drag";

    // Far past the right end (and past the window), then back by 10: 10 pixels left of the end.
    Send(bar, WM_MOUSEMOVE, 5000, 25);
    Send(bar, WM_MOUSEMOVE, 4990, 25);
    EXPECT_TRUE(BarShows({0, 100, -1, 659, L"00:00:11"}));
    Send(bar, WM_LBUTTONUP, 4990, 25);
    EXPECT_EQ(11862, theApp.graph->GetPositionMs());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(BarShows({659, 100}));

    // Low words from 32763 up lie left of the window: from x -21 the thumb stops at 0, 5 back is 5.
    struct Move {
        int word, thumb;
    } moves[] = {{65535 - 20, 0}, {65535 - 15, 5}, {32763, 0}, {32762, 669}};
    for (const Move& m : moves) {
        Show(Paused, 11862, 1800, -1);
        Send(bar, WM_LBUTTONDOWN, 15 + 659, 25);
        SendMessageW(bar, WM_MOUSEMOVE, 0, MAKELPARAM(m.word == 65535 - 15 ? 65535 - 20 : 15 + 659, 25));
        SendMessageW(bar, WM_MOUSEMOVE, 0, MAKELPARAM(m.word, 25));
        // The capture lost rather than released: the drag is committed and its label goes at once.
        ReleaseCapture();
        EXPECT_EQ(18 * m.thumb, theApp.graph->GetPositionMs()) << m.word;
        EXPECT_TRUE(BarShows({m.thumb, 100})) << m.word;
    }
}

TEST_F(FacePanelTest, AReleaseAfterAStopDuringTheDragSeeksNothing) {
    HWND bar = theApp.timelineBar;
    Show(Paused, 0, -1, -1);
    Send(bar, WM_LBUTTONDOWN, 15, 25);
    Send(bar, WM_MOUSEMOVE, 15 + 200, 25);
    theApp.Stop();
    Send(bar, WM_LBUTTONUP, 15 + 200, 25);
    EXPECT_EQ(0, theApp.graph->GetPositionMs());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(BarShows({0}));
}

// The end of the file ends a thumb drag, but a capture held by another window stays with it.
TEST_F(FacePanelTest, TheEndOfTheFileLeavesAnotherWindowsCaptureAlone) {
    HWND slider = GetDlgItem(theApp.controlPanel, IDC_VOLUME_SLIDER);
    theApp.graph->SeekMs(stopMs - 300);
    theApp.TogglePlay();
    SetCapture(slider);
    ASSERT_TRUE(PumpUntil([] { return theApp.playState == Stopped; }, 5000));
    EXPECT_EQ(slider, GetCapture());
    ReleaseCapture();
}

// The A-B display as its layout draws it: four boxes in the bold 20-pixel font, the play button
// in the centre when asked.
::testing::AssertionResult AbShows(const wchar_t* position, const wchar_t* a, const wchar_t* b, bool button) {
    Picture picture(theApp.abPanel, RGB(255, 255, 255));
    int w = picture.Width(), h = picture.Height();
    const UINT box = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    picture.Text(position, {w / 6, h / 4, w / 2, h / 2}, box, 20, 600, false);
    picture.Text(L"00:00:12", {w / 6, h / 2, w / 2, h - h / 4}, box, 20, 600, false);
    picture.Text(a, {w / 2, h / 4, w - w / 6, h / 2}, box, 20, 600, false);
    picture.Text(b, {w / 2, h / 2, w - w / 6, h - h / 4}, box, 20, 600, false);
    if (button) picture.Image(IDB_PLAY_BUTTON, w / 2 - 32, h / 2 - 32);
    return picture.Shown();
}

TEST_F(FacePanelTest, TheABDisplayShowsTheBoxesForEachState) {
    Show(Stopped, 0, -1, -1);
    EXPECT_TRUE(AbShows(L"00:00:00", L"", L"", true)) << "stopped";
    Show(Paused, 3999, 62345, -1);
    EXPECT_TRUE(AbShows(L"00:00:03", L"a: 00:01:02.345", L"", true)) << "paused with A";
    Show(Playing, 11000, 999, 3723004);
    EXPECT_TRUE(AbShows(L"00:00:11", L"a: 00:00:00.999", L"b: 01:02:03.004", false)) << "playing";

    theApp.CloseFile();
    Picture picture(theApp.abPanel, RGB(255, 255, 255));
    int w = picture.Width(), h = picture.Height();
    picture.Text(L"还未载入mp3文件", {8, 8, w - 8, h - 8}, DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL, 20, 600, false);
    picture.Image(IDB_SHORTCUT_TABLE, w / 2 - 57, 45);
    EXPECT_TRUE(picture.Shown()) << "no file";
}

TEST_F(FacePanelTest, ThePlayButtonAnswersInsideItsHotSquareWhenShown) {
    HWND panel = theApp.abPanel;
    RECT client = {};
    GetClientRect(panel, &client);
    int cx = client.right / 2, cy = client.bottom / 2;
    struct Case {
        int x, y;
        bool inside;
    } cases[] = {{cx - 32, cy - 32, true}, {cx + 31, cy + 31, true}, {cx + 32, cy, false},
                 {cx, cy + 32, false},     {cx - 33, cy, false},     {cx, cy - 33, false}};
    for (int state : {Playing, Stopped, Paused}) {
        for (const Case& c : cases) {
            Show(state, 0, -1, -1);
            theApp.graph->Pause();  // a click that starts playback leaves the graph running
            bool answers = c.inside && state != Playing;
            SCOPED_TRACE(testing::Message() << state << ": " << c.x << "," << c.y);
            EXPECT_EQ(answers, HandAt(panel, c.x, c.y));
            int before = clicks.count;
            Send(panel, WM_LBUTTONDOWN, c.x, c.y);
            EXPECT_EQ(answers ? Playing : state, theApp.playState);
            EXPECT_EQ(answers ? 0 : 1, clicks.count - before) << "moves the main window";
        }
    }
    theApp.CloseFile();
    EXPECT_FALSE(HandAt(panel, cx, cy));
    int before = clicks.count;
    Send(panel, WM_LBUTTONDOWN, cx, cy);
    EXPECT_EQ(1, clicks.count - before);
    EXPECT_FALSE(theApp.loaded);
}

}  // namespace
