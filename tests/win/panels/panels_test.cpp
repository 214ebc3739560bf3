// The window's frame with the whole program running: the panel stack, the toolbar and its
// tooltips, the hint strip's pixels, the control panel and the two size dialogs.
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"
#include "tests/win/panels/panel_picture.h"

#include <commctrl.h>

namespace {

// Where a child lies in its parent's client area, exactly.
::testing::AssertionResult PlacedAt(HWND parent, HWND child, RECT expected) {
    RECT place = {};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    if (EqualRect(&place, &expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at " << place.left << "," << place.top << "," << place.right << ","
                                         << place.bottom;
}

void ResizeMainWindow(int width, int height) {
    SetWindowPos(theApp.mainWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);
}

// The string the container names for a toolbar button's tooltip; 0 when it leaves the text alone.
UINT_PTR TooltipFor(UINT command) {
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageW(theApp.toolbar, TB_GETTOOLTIPS, 0, 0));
    info.hdr.idFrom = command;
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(theApp.panelContainer, WM_NOTIFY, command, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.lpszText ? theApp.hInstance : nullptr, info.hinst) << command;
    return reinterpret_cast<UINT_PTR>(info.lpszText);
}

// Opens a copy of a fixture: loading clears the file's attributes, and the fixtures are shared.
void OpenCopyOf(const wchar_t* fixture) {
    std::wstring copy = MakeTempFolder(L"clipvane-panels") + L"\\" + fixture;
    ASSERT_TRUE(CopyFileW(FixturePath(fixture).c_str(), copy.c_str(), FALSE));
    theApp.OpenFile(copy.c_str());
}

using PanelTest = ProgramTest;

// The timeline bar ends where the toolbar begins, and only the A-B display takes up the change.
TEST_F(PanelTest, TheStackFillsTheContainerAtEveryHeight) {
    for (int height : {420, 520, 380}) {
        ResizeMainWindow(720, height);
        RECT container = {}, toolbar = {};
        GetClientRect(theApp.panelContainer, &container);
        GetWindowRect(theApp.toolbar, &toolbar);
        MapWindowPoints(nullptr, theApp.panelContainer, reinterpret_cast<POINT*>(&toolbar), 2);
        int w = container.right, t = toolbar.top;
        EXPECT_LE(toolbar.bottom, container.bottom);
        EXPECT_TRUE(IsWindowVisible(theApp.toolbar));
        struct Panel {
            HWND window;
            RECT place;
        } stack[] = {{theApp.controlPanel, {0, 0, w, 98}},
                     {theApp.infoStrip, {0, 98, w, 124}},
                     {theApp.abPanel, {0, 124, w, t - 40}},
                     {theApp.timelineBar, {0, t - 40, w, t}}};
        for (const Panel& panel : stack)
            EXPECT_TRUE(PlacedAt(theApp.panelContainer, panel.window, panel.place)) << height;
    }
    // Nothing of the client area is left unpainted: not even behind the flat toolbar's buttons.
    RedrawWindow(theApp.mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages(50);
    RECT toolbar = {};
    GetClientRect(theApp.toolbar, &toolbar);
    HDC dc = GetDC(theApp.toolbar);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, toolbar.right - 3, toolbar.bottom / 2));
    ReleaseDC(theApp.toolbar, dc);
}

TEST_F(PanelTest, TooltipsNameEachButtonAndFollowThePlayStateAndTheABCycle) {
    struct Tip {
        UINT command, text;
    } fixed[] = {{IDM_OPEN, 135},    {IDM_JUMP_FORWARD, 131}, {IDM_JUMP_BACKWARD, 130},
                 {IDM_A_MINUS, 138}, {IDM_A_PLUS, 137},       {IDM_B_MINUS, 140},
                 {IDM_B_PLUS, 139},  {IDM_CUT, 136},          {IDM_PLAY_PAUSE, 128},
                 {IDM_MARK_AB, 132}, {IDM_STOP, 0},           {IDM_EXIT, 0}};
    for (const Tip& tip : fixed) EXPECT_EQ(tip.text, TooltipFor(tip.command)) << tip.command;
    OpenCopyOf(L"cbr128.mp3");
    ASSERT_EQ(Playing, theApp.playState);
    EXPECT_EQ(129u, TooltipFor(IDM_PLAY_PAUSE));
    theApp.MarkAB();
    EXPECT_EQ(133u, TooltipFor(IDM_MARK_AB));
    theApp.MarkAB();
    EXPECT_EQ(134u, TooltipFor(IDM_MARK_AB));

    // A toolbar button runs the menu's operation and the buttons follow the state.
    SendMessageW(theApp.panelContainer, WM_COMMAND, MAKEWPARAM(IDM_PLAY_PAUSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(theApp.toolbar));
    EXPECT_EQ(Paused, theApp.playState);
    EXPECT_TRUE(SendMessageW(theApp.toolbar, TB_ISBUTTONENABLED, IDM_CUT, 0));
    SendMessageW(theApp.panelContainer, WM_COMMAND, MAKEWPARAM(IDM_MARK_AB, BN_CLICKED),
                 reinterpret_cast<LPARAM>(theApp.toolbar));
    EXPECT_EQ(unsetPoint, theApp.pointA);
    EXPECT_FALSE(SendMessageW(theApp.toolbar, TB_ISBUTTONENABLED, IDM_CUT, 0));
}

// At full width and in a strip narrower than the text, which is then cut off at both ends.
TEST_F(PanelTest, TheHintIsOneCentredLineOnTheYellowBandAboveTheStripsLine) {
    for (int width : {0, 300}) {
        if (width) SetWindowPos(theApp.infoStrip, nullptr, 0, 0, width, 26, SWP_NOMOVE | SWP_NOZORDER);
        RedrawWindow(theApp.infoStrip, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RedrawWindow(theApp.infoStrip, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_NOCHILDREN | RDW_UPDATENOW);  // the line stays
        PumpMessages(50);
        Picture picture(theApp.infoStrip, GetSysColor(COLOR_BTNFACE));
        picture.Fill({0, 1, picture.width, 24}, RGB(255, 255, 205));
        picture.Text(
            L"使用提示：按定位键“↑”设好a点、b点后，即开始在ab间复读，按“Tab”键进行剪切，再次按“↑”键取消a点、b点。",
            {0, 1, picture.width, 24}, DT_SINGLELINE | DT_VCENTER | DT_CENTER, 12, FW_NORMAL, true);
        picture.EtchedLine(24);
        EXPECT_TRUE(picture.Shown()) << width;
    }
    CaptionClicks::Watch();
    SendMessageW(theApp.infoStrip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(theApp.controlPanel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 80));
    EXPECT_EQ(2, CaptionClicks::count) << "the strip and the control panel move the main window";
}

void MoveSlider(int position) {
    HWND slider = GetDlgItem(theApp.controlPanel, IDC_VOLUME_SLIDER);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(theApp.controlPanel, WM_HSCROLL, TB_THUMBTRACK, reinterpret_cast<LPARAM>(slider));
}

long Heard() {
    long volume = 1;
    theApp.graph->basicAudio->get_Volume(&volume);
    return volume;
}

TEST_F(PanelTest, TheSliderSetsTheVolumeAndMuteKeepsItSilent) {
    EXPECT_EQ(79, SendDlgItemMessageW(theApp.controlPanel, IDC_VOLUME_SLIDER, TBM_GETPOS, 0, 0)) << "volume -500";
    struct Step {
        int position, volume;
    } steps[] = {{1, -10000}, {2, -8494}, {100, 0}, {79, -511}, {50, -1505}};
    for (const Step& step : steps) {
        MoveSlider(step.position);
        EXPECT_EQ(step.volume, theApp.volume) << step.position;
    }
    SendDlgItemMessageW(theApp.controlPanel, IDC_MUTE, BM_CLICK, 0, 0);
    EXPECT_TRUE(theApp.bMute);
    EXPECT_EQ(-1505, theApp.volume);

    OpenCopyOf(L"cbr128.mp3");
    ASSERT_EQ(Playing, theApp.playState);
    EXPECT_EQ(-10000, Heard()) << "the next file opens silent";
    MoveSlider(10);
    EXPECT_EQ(-10000, Heard()) << "moving the slider while muted stays silent";
    EXPECT_EQ(-5000, theApp.volume);
    SendDlgItemMessageW(theApp.controlPanel, IDC_MUTE, BM_CLICK, 0, 0);
    EXPECT_EQ(-5000, Heard()) << "unmuted: the slider's volume";
    MoveSlider(100);
    EXPECT_EQ(0, Heard());
}

// Types `text` into the dialog's edit box and presses OK; what the box showed on opening goes to `shown`.
DialogAnswerer::Reply Enter(int editId, const wchar_t* text, std::wstring* shown = nullptr) {
    return [editId, text, shown](HWND dialog) {
        if (shown) *shown = WindowText(GetDlgItem(dialog, editId));
        SetDlgItemTextW(dialog, editId, text);
        DialogAnswerer::PressButton(IDOK)(dialog);
    };
}

TEST_F(PanelTest, SizeDialogsOpenWithTheValueClampSilentlyAndCancelChangesNothing) {
    struct Case {
        bool jump;
        const wchar_t* text;
        int expected;
    } cases[] = {{true, L"0", 3},    {true, L"", 3},     {true, L"abc", 3},     {true, L"12", 9},    {true, L"5", 5},
                 {false, L"0", 200}, {false, L"10", 30}, {false, L"1000", 900}, {false, L"450", 450}};
    DialogAnswerer answerer;
    for (const Case& c : cases) {
        int& field = c.jump ? theApp.eachJump : theApp.fineTuning;
        std::wstring shown, before = std::to_wstring(field);
        answerer.Queue(Enter(c.jump ? IDC_JUMP_EDIT : IDC_FINE_TUNE_EDIT, c.text, &shown));
        SendDlgItemMessageW(theApp.controlPanel, c.jump ? IDC_CHANGE_JUMP : IDC_CHANGE_FINE_TUNE, BM_CLICK, 0, 0);
        EXPECT_EQ(before, shown) << "the box opens with the current value";
        EXPECT_EQ(c.expected, field) << c.text;
        EXPECT_EQ(static_cast<UINT>(c.expected),
                  GetDlgItemInt(theApp.controlPanel, c.jump ? IDC_JUMP_VALUE : IDC_FINE_TUNE_VALUE, nullptr, FALSE));
    }
    // Cancel, and the system menu's close, leave the value and the panel alone.
    answerer.Queue([](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_JUMP_EDIT, L"7");
        DialogAnswerer::PressButton(IDCANCEL)(dialog);
    });
    SendDlgItemMessageW(theApp.controlPanel, IDC_CHANGE_JUMP, BM_CLICK, 0, 0);
    answerer.Queue([](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_FINE_TUNE_EDIT, L"77");
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    SendDlgItemMessageW(theApp.controlPanel, IDC_CHANGE_FINE_TUNE, BM_CLICK, 0, 0);
    EXPECT_EQ(5, theApp.eachJump);
    EXPECT_EQ(450, theApp.fineTuning);
    EXPECT_EQ(5u, GetDlgItemInt(theApp.controlPanel, IDC_JUMP_VALUE, nullptr, FALSE));
}

TEST_F(PanelTest, PanelValuesSurviveARestart) {
    DialogAnswerer answerer;
    answerer.Queue(Enter(IDC_JUMP_EDIT, L"7"));
    SendDlgItemMessageW(theApp.controlPanel, IDC_CHANGE_JUMP, BM_CLICK, 0, 0);
    HWND slider = GetDlgItem(theApp.controlPanel, IDC_VOLUME_SLIDER);
    SendMessageW(slider, TBM_SETPOS, TRUE, 50);
    SendMessageW(theApp.controlPanel, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
    SendDlgItemMessageW(theApp.controlPanel, IDC_MUTE, BM_CLICK, 0, 0);
    theApp.Exit();
    PumpMessages(50);
    theApp.eachJump = theApp.volume = 0;
    ASSERT_TRUE(theApp.Init(GetModuleHandleW(nullptr)));
    EXPECT_EQ(7, theApp.eachJump);
    EXPECT_EQ(7u, GetDlgItemInt(theApp.controlPanel, IDC_JUMP_VALUE, nullptr, FALSE));
    EXPECT_EQ(-1505, theApp.volume);
    EXPECT_EQ(50, SendDlgItemMessageW(theApp.controlPanel, IDC_VOLUME_SLIDER, TBM_GETPOS, 0, 0));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(theApp.controlPanel, IDC_MUTE));
}

TEST_F(PanelTest, KeysActOnTheMainWindowWhicheverPanelHasTheFocus) {
    EXPECT_EQ(theApp.abPanel, GetFocus());
    OpenCopyOf(L"cbr128.mp3");
    ASSERT_EQ(Playing, theApp.playState);
    HWND slider = GetDlgItem(theApp.controlPanel, IDC_VOLUME_SLIDER);
    SetFocus(slider);
    LRESULT position = SendMessageW(slider, TBM_GETPOS, 0, 0);
    HACCEL accelerators = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    MSG key = {slider, WM_KEYDOWN, VK_DOWN, 1, 0, {}};
    DispatchProgramMessage(accelerators, key);
    EXPECT_EQ(Paused, theApp.playState);
    EXPECT_EQ(position, SendMessageW(slider, TBM_GETPOS, 0, 0)) << "the slider took the key";
}

TEST_F(PanelTest, TheControlPanelLinesStayAtFixedPixels) {
    for (int width : {720, 900}) {
        ResizeMainWindow(width, 420);
        RECT panel = {};
        GetClientRect(theApp.controlPanel, &panel);
        int w = panel.right;
        struct Line {
            int id;
            RECT place;
        } lines[] = {{IDC_PANEL_TOP_LINE, {0, 0, w + 1, 2}},
                     {IDC_PANEL_BOTTOM_LINE, {0, 96, w + 1, 98}},
                     {IDC_VOLUME_LINE, {130, 0, 132, 98}},
                     {IDC_JUMP_LINE, {235, 0, 237, 98}},
                     {IDC_FINE_TUNE_LINE, {350, 0, 352, 98}}};
        for (const Line& line : lines)
            EXPECT_TRUE(PlacedAt(theApp.controlPanel, GetDlgItem(theApp.controlPanel, line.id), line.place)) << line.id;
    }
}

}  // namespace
