// The timeline bar and the A-B display with the whole program running: the pictures read back
// from the windows against pictures composed by hand, the cursor and the clicks by state.
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"
#include "tests/win/panels/panel_picture.h"

namespace {

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
        theApp.TogglePlay();  // paused: the position stays where a test puts it
        ASSERT_EQ(Paused, theApp.playState);
        ASSERT_EQ(stopMs, theApp.graph->GetStopMs());
        SetWindowPos(theApp.timelineBar, nullptr, 0, 0, barWidth, 40, SWP_NOMOVE | SWP_NOZORDER);
        CaptionClicks::Watch();
    }
    // The transport's state as the panels read it; the graph stays paused.
    static void Show(int state, int positionMs, int a = -1, int b = -1) {
        theApp.playState = state;
        theApp.pointA = a;
        theApp.pointB = b;
        theApp.graph->SeekMs(positionMs);
        theApp.RefreshPanels();
        PumpMessages(20);
    }
    // Presses (and releases) the button at (x, y); true when that moved the main window instead.
    static bool MovesWindow(HWND window, int x, int y, bool release = true) {
        int before = CaptionClicks::count;
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        if (release) SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        return CaptionClicks::count == before + 1;
    }
    static void Move(int word) { SendMessageW(theApp.timelineBar, WM_MOUSEMOVE, 0, MAKELPARAM(word, 25)); }
    static int Position() { return theApp.graph->GetPositionMs(); }
};

// The bar as its layout draws it: the played part to column 15 + p, the A flag's staff (its
// rightmost column) and the B flag's (its leftmost) on 15 + a and 15 + b, the thumb's tip on
// 15 + thumb with the drag label 12 pixels right of it; rows 0 and 1 are the separator's.
::testing::AssertionResult BarShows(int p, int a = -1, int b = -1, int thumb = -1, const wchar_t* label = nullptr) {
    Picture picture(theApp.timelineBar, GetSysColor(COLOR_BTNFACE));
    picture.EtchedLine(0);
    picture.Fill({15, 14, 685, 19}, RGB(70, 70, 70));
    if (16 + p < 684) picture.Fill({16 + p, 15, 684, 18}, RGB(220, 220, 220));  // inside the outline
    if (a >= 0) picture.Image(IDB_FLAG_A, a + 10, 4);
    if (b >= 0) picture.Image(IDB_FLAG_B, b + 15, 4);
    int x = thumb >= 0 ? thumb : p;
    picture.Image(IDB_THUMB, x + 9, 19);
    if (label) picture.Text(label, {x + 27, 22, barWidth, 40}, DT_SINGLELINE, 10, FW_NORMAL, true);
    return picture.Shown();
}

TEST_F(FacePanelTest, TheBarShowsTrackFlagsAndThumbByState) {
    // 3617 ms is 200.94 pixels: truncated, not rounded.
    Show(Stopped, 3617, 1800, 5400);
    EXPECT_TRUE(BarShows(200)) << "stopped: no flags, even with points left set";
    Show(Paused, 3617, 1800);
    EXPECT_TRUE(BarShows(200, 100)) << "paused with A only";
    Show(Playing, 3600, 1800, 5417);
    EXPECT_TRUE(BarShows(200, 100, 300)) << "playing with A and B";
    Show(Paused, 0, 2700, 2717);
    EXPECT_TRUE(BarShows(0, 150, 150)) << "A and B on one pixel: back to back";
    Show(Paused, stopMs, 0, stopMs);
    EXPECT_TRUE(BarShows(669, 0, 669)) << "at the ends";
    theApp.CloseFile();
    EXPECT_TRUE(BarShows(0)) << "no file";
}

TEST_F(FacePanelTest, TheBarAnswersTheMouseOnlyWithAFilePlayingOrPaused) {
    HWND bar = theApp.timelineBar;
    struct Case {
        int x, y;
        int seeksTo;  // -1: neither the hand cursor nor a seek; the click moves the main window
    } cases[] = {
        {9, 16, 0},
        {14, 12, 0},
        {315, 20, 5400},
        {690, 16, stopMs},
        {8, 16, -1},
        {691, 16, -1},
        {300, 11, -1},
        {300, 21, -1},  // the track's hit area; below, the thumb's at 0: columns 7 to 23,
                        // rows 20 to 33
        {7, 33, 0},
        {23, 20, 0},
        {24, 25, -1},
        {6, 25, -1},
        {8, 34, -1},
    };
    for (int state : {Paused, Playing, Stopped}) {
        for (const Case& c : cases) {
            Show(state, 0);
            bool answers = state != Stopped && c.seeksTo >= 0;
            SCOPED_TRACE(testing::Message() << state << ": " << c.x << "," << c.y);
            EXPECT_EQ(answers, HandAt(bar, c.x, c.y));
            EXPECT_EQ(!answers, MovesWindow(bar, c.x, c.y));
            EXPECT_EQ(answers ? c.seeksTo : 0, Position());
            EXPECT_EQ(nullptr, GetCapture());
        }
    }
    Show(Paused, 0);
    MovesWindow(bar, 15 + 421, 16, false);
    EXPECT_TRUE(BarShows(421)) << "the thumb jumps to the click at once";
    theApp.CloseFile();
    EXPECT_FALSE(HandAt(bar, 315, 16));
    EXPECT_FALSE(HandAt(bar, 15, 25));
    EXPECT_TRUE(MovesWindow(bar, 315, 16)) << "no file";
}

TEST_F(FacePanelTest, AThumbDragShowsItsTimeAndSeeksOnlyOnRelease) {
    HWND bar = theApp.timelineBar;
    Show(Paused, 0, 1800);
    MovesWindow(bar, 15, 25, false);
    ASSERT_EQ(bar, GetCapture());
    EXPECT_TRUE(BarShows(0, 100, -1, 0, L"00:00:00"));
    EXPECT_TRUE(HandAt(bar, 300, 38)) << "the hand anywhere while dragging";
    Move(15 + 61);           // 61 pixels: 1098 ms
    theApp.RefreshPanels();  // the refresh keeps the drag's picture
    EXPECT_TRUE(BarShows(0, 100, -1, 61, L"00:00:01"));
    EXPECT_TRUE(MovesWindow(bar, 300, 16, false)) << "a second press during the drag";
    EXPECT_EQ(0, Position()) << "nothing sought before release";

    // Far past the right end (and past the window), then back by 10: 10 pixels left of the end.
    Move(5000);
    Move(4990);
    EXPECT_TRUE(BarShows(0, 100, -1, 659, L"00:00:11"));
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(4990, 25));
    EXPECT_EQ(11862, Position());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(BarShows(659, 100));

    // Low words from 32763 up lie left of the window: from x -21 the thumb stops at 0, 5 back is 5.
    struct Moves {
        int first, second, thumb;
    } moves[] = {{674, 65535 - 20, 0}, {65535 - 20, 65535 - 15, 5}, {674, 32763, 0}, {674, 32762, 669}};
    for (const Moves& m : moves) {
        Show(Paused, 11862, 1800);
        MovesWindow(bar, 15 + 659, 25, false);
        Move(m.first);
        Move(m.second);
        // The capture lost rather than released: the drag is committed and its label goes at once.
        ReleaseCapture();
        EXPECT_EQ(18 * m.thumb, Position()) << m.second;
        EXPECT_TRUE(BarShows(m.thumb, 100)) << m.second;
    }
    // A release after a stop during the drag (a key pressed meanwhile) seeks nothing but ends it.
    Show(Paused, 0);
    MovesWindow(bar, 15, 25, false);
    Move(15 + 200);
    theApp.Stop();
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(215, 25));
    EXPECT_EQ(0, Position());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(BarShows(0));
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
    int w = picture.width, h = picture.height;
    const UINT box = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    picture.Text(position, {w / 6, h / 4, w / 2, h / 2}, box, 20, 600, false);
    picture.Text(L"00:00:12", {w / 6, h / 2, w / 2, h - h / 4}, box, 20, 600, false);
    picture.Text(a, {w / 2, h / 4, w - w / 6, h / 2}, box, 20, 600, false);
    picture.Text(b, {w / 2, h / 2, w - w / 6, h - h / 4}, box, 20, 600, false);
    if (button) picture.Image(IDB_PLAY_BUTTON, w / 2 - 32, h / 2 - 32);
    return picture.Shown();
}

TEST_F(FacePanelTest, TheABDisplayShowsTheBoxesForEachState) {
    Show(Stopped, 0);
    EXPECT_TRUE(AbShows(L"00:00:00", L"", L"", true)) << "stopped";
    Show(Paused, 3999, 62345);
    EXPECT_TRUE(AbShows(L"00:00:03", L"a: 00:01:02.345", L"", true)) << "paused with A";
    Show(Playing, 11000, 999, 3723004);
    EXPECT_TRUE(AbShows(L"00:00:11", L"a: 00:00:00.999", L"b: 01:02:03.004", false)) << "playing";

    theApp.CloseFile();
    Picture picture(theApp.abPanel, RGB(255, 255, 255));
    int w = picture.width, h = picture.height;
    picture.Text(L"还未载入mp3文件", {8, 8, w - 8, h - 8}, DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL, 20, 600, false);
    picture.Image(IDB_SHORTCUT_TABLE, w / 2 - 57, 45);
    EXPECT_TRUE(picture.Shown()) << "no file";
}

TEST_F(FacePanelTest, ThePlayButtonAnswersInsideItsHotSquareWhenShown) {
    HWND panel = theApp.abPanel;
    RECT client = {};
    GetClientRect(panel, &client);
    int x = client.right / 2, y = client.bottom / 2;
    struct Case {
        int x, y;
        bool inside;
    } cases[] = {{x - 32, y - 32, true}, {x + 31, y + 31, true}, {x + 32, y, false},
                 {x, y + 32, false},     {x - 33, y, false},     {x, y - 33, false}};
    for (int state : {Playing, Stopped, Paused}) {
        for (const Case& c : cases) {
            Show(state, 0);
            theApp.graph->Pause();  // a click that starts playback leaves the graph running
            bool answers = c.inside && state != Playing;
            SCOPED_TRACE(testing::Message() << state << ": " << c.x << "," << c.y);
            EXPECT_EQ(answers, HandAt(panel, c.x, c.y));
            EXPECT_EQ(!answers, MovesWindow(panel, c.x, c.y, false));
            EXPECT_EQ(answers ? Playing : state, theApp.playState);
        }
    }
    theApp.CloseFile();
    EXPECT_FALSE(HandAt(panel, x, y));
    EXPECT_TRUE(MovesWindow(panel, x, y, false));
    EXPECT_FALSE(theApp.loaded);
}

}  // namespace
