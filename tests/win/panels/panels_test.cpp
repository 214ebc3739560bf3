// The window's frame with the whole program running: the panel stack, the toolbar and its
// tooltips, the hint strip's pixels, the control panel and the two size dialogs.
#include "logic/control_values.h"
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"

#include <commctrl.h>
#include <algorithm>

namespace {

// A child's rectangle in its parent's client coordinates.
RECT PlaceIn(HWND parent, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ResizeMainWindow(int width, int height) {
    SetWindowPos(theApp.mainWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);
}

UINT_PTR TooltipFor(UINT command) {
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageW(theApp.toolbar, TB_GETTOOLTIPS, 0, 0));
    info.hdr.idFrom = command;
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(theApp.panelContainer, WM_NOTIFY, command, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(theApp.hInstance, info.hinst);
    return reinterpret_cast<UINT_PTR>(info.lpszText);
}

// Opens a copy of a fixture: loading clears the file's attributes, and the fixtures are shared.
void OpenCopyOf(const wchar_t* fixture) {
    std::wstring copy = MakeTempFolder(L"clipvane-panels") + L"\\" + fixture;
    ASSERT_TRUE(CopyFileW(FixturePath(fixture).c_str(), copy.c_str(), FALSE));
    theApp.OpenFile(copy.c_str());
}

using PanelTest = ProgramTest;

TEST_F(PanelTest, TheStackFillsTheContainerAtEveryHeight) {
    for (int height : {420, 520, 380}) {
        ResizeMainWindow(720, height);
        RECT container = {};
        GetClientRect(theApp.panelContainer, &container);
        RECT control = PlaceIn(theApp.panelContainer, theApp.controlPanel);
        RECT strip = PlaceIn(theApp.panelContainer, theApp.infoStrip);
        RECT ab = PlaceIn(theApp.panelContainer, theApp.abPanel);
        RECT timeline = PlaceIn(theApp.panelContainer, theApp.timelineBar);
        RECT toolbar = PlaceIn(theApp.panelContainer, theApp.toolbar);
        SCOPED_TRACE(height);
        EXPECT_EQ(0, control.top);
        EXPECT_EQ(98, control.bottom - control.top);
        EXPECT_EQ(control.bottom, strip.top);
        EXPECT_EQ(26, strip.bottom - strip.top);
        EXPECT_EQ(strip.bottom, ab.top);
        EXPECT_EQ(ab.bottom, timeline.top);
        EXPECT_EQ(40, timeline.bottom - timeline.top);
        EXPECT_EQ(timeline.bottom, toolbar.top);
        EXPECT_LE(toolbar.bottom, container.bottom);
        EXPECT_EQ(container.right, timeline.right - timeline.left);
        EXPECT_TRUE(IsWindowVisible(theApp.toolbar));
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

TEST_F(PanelTest, TooltipsFollowThePlayStateAndTheABCycle) {
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_PLAY), TooltipFor(IDM_PLAY_PAUSE));
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_SET_A), TooltipFor(IDM_MARK_AB));
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_CUT), TooltipFor(IDM_CUT));
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_B_MINUS), TooltipFor(IDM_B_MINUS));
    OpenCopyOf(L"cbr128.mp3");
    ASSERT_EQ(Playing, theApp.playState);
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_PAUSE), TooltipFor(IDM_PLAY_PAUSE));
    theApp.MarkAB();
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_SET_B), TooltipFor(IDM_MARK_AB));
    theApp.MarkAB();
    EXPECT_EQ(static_cast<UINT_PTR>(IDS_TIP_CANCEL_AB), TooltipFor(IDM_MARK_AB));

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

TEST_F(PanelTest, TheHintIsOneCentredLineOnTheYellowBand) {
    RedrawWindow(theApp.infoStrip, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpMessages(50);
    RECT client = {};
    GetClientRect(theApp.infoStrip, &client);
    HDC dc = GetDC(theApp.infoStrip);
    EXPECT_EQ(RGB(255, 255, 205), GetPixel(dc, 1, 3));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, 1, 0));
    int left = client.right, right = -1, top = client.bottom, bottom = -1;
    for (int y = 1; y < client.bottom - 2; ++y) {
        for (int x = 0; x < client.right; ++x) {
            if (GetPixel(dc, x, y) == RGB(255, 255, 205)) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    ReleaseDC(theApp.infoStrip, dc);
    ASSERT_GE(right, left) << "no text drawn";
    // Ink, not advance: the closing "。" leaves most of its 12-pixel cell blank on the right.
    EXPECT_NEAR(left, client.right - 1 - right, 12) << "not centred";
    EXPECT_LT(bottom - top, 16) << "more than one line";
}

TEST_F(PanelTest, TheSliderSetsTheVolumeAndMuteSilencesTheNextFile) {
    HWND slider = GetDlgItem(theApp.controlPanel, IDC_VOLUME_SLIDER);
    EXPECT_EQ(VolumeToSlider(theApp.volume), SendMessageW(slider, TBM_GETPOS, 0, 0));
    for (int position : {1, 50, 100}) {
        SendMessageW(slider, TBM_SETPOS, TRUE, position);
        SendMessageW(theApp.controlPanel, WM_HSCROLL, TB_THUMBTRACK, reinterpret_cast<LPARAM>(slider));
        EXPECT_EQ(SliderToVolume(position), theApp.volume) << position;
    }
    SendMessageW(slider, TBM_SETPOS, TRUE, 50);
    SendMessageW(theApp.controlPanel, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
    SendDlgItemMessageW(theApp.controlPanel, IDC_MUTE, BM_CLICK, 0, 0);
    EXPECT_TRUE(theApp.bMute);
    EXPECT_EQ(-1505, theApp.volume);

    OpenCopyOf(L"cbr128.mp3");
    ASSERT_TRUE(theApp.loaded);
    long heard = 0;
    theApp.graph->basicAudio->get_Volume(&heard);
    EXPECT_EQ(silentVolume, heard);
    SendDlgItemMessageW(theApp.controlPanel, IDC_MUTE, BM_CLICK, 0, 0);
    theApp.graph->basicAudio->get_Volume(&heard);
    EXPECT_EQ(-1505, heard);
}

// Types `text` into the dialog's edit box and presses OK.
DialogAnswerer::Reply Enter(int editId, const wchar_t* text) {
    return [editId, text](HWND dialog) {
        SetDlgItemTextW(dialog, editId, text);
        DialogAnswerer::PressButton(IDOK)(dialog);
    };
}

TEST_F(PanelTest, SizeDialogsClampSilentlyAndCancelChangesNothing) {
    struct Case {
        int button, edit, valueStatic;
        int* field;
        const wchar_t* text;
        int expected;
    } cases[] = {
        {IDC_CHANGE_JUMP, IDC_JUMP_EDIT, IDC_JUMP_VALUE, &theApp.eachJump, L"0", 3},
        {IDC_CHANGE_JUMP, IDC_JUMP_EDIT, IDC_JUMP_VALUE, &theApp.eachJump, L"", 3},
        {IDC_CHANGE_JUMP, IDC_JUMP_EDIT, IDC_JUMP_VALUE, &theApp.eachJump, L"abc", 3},
        {IDC_CHANGE_JUMP, IDC_JUMP_EDIT, IDC_JUMP_VALUE, &theApp.eachJump, L"12", 9},
        {IDC_CHANGE_JUMP, IDC_JUMP_EDIT, IDC_JUMP_VALUE, &theApp.eachJump, L"5", 5},
        {IDC_CHANGE_FINE_TUNE, IDC_FINE_TUNE_EDIT, IDC_FINE_TUNE_VALUE, &theApp.fineTuning, L"10", 30},
        {IDC_CHANGE_FINE_TUNE, IDC_FINE_TUNE_EDIT, IDC_FINE_TUNE_VALUE, &theApp.fineTuning, L"1000", 900},
        {IDC_CHANGE_FINE_TUNE, IDC_FINE_TUNE_EDIT, IDC_FINE_TUNE_VALUE, &theApp.fineTuning, L"450", 450},
    };
    DialogAnswerer answerer;
    for (const Case& c : cases) {
        answerer.Queue(Enter(c.edit, c.text));
        SendDlgItemMessageW(theApp.controlPanel, c.button, BM_CLICK, 0, 0);
        EXPECT_EQ(c.expected, *c.field) << c.text;
        EXPECT_EQ(static_cast<UINT>(c.expected), GetDlgItemInt(theApp.controlPanel, c.valueStatic, nullptr, FALSE));
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
    theApp.Exit();
    PumpMessages(50);
    theApp.eachJump = theApp.volume = 0;
    ASSERT_TRUE(theApp.Init(GetModuleHandleW(nullptr)));
    EXPECT_EQ(7, theApp.eachJump);
    EXPECT_EQ(7u, GetDlgItemInt(theApp.controlPanel, IDC_JUMP_VALUE, nullptr, FALSE));
    EXPECT_EQ(-1505, theApp.volume);
    EXPECT_EQ(50, SendDlgItemMessageW(theApp.controlPanel, IDC_VOLUME_SLIDER, TBM_GETPOS, 0, 0));
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
        SCOPED_TRACE(width);
        EXPECT_EQ(130, PlaceIn(theApp.controlPanel, GetDlgItem(theApp.controlPanel, IDC_VOLUME_LINE)).left);
        EXPECT_EQ(235, PlaceIn(theApp.controlPanel, GetDlgItem(theApp.controlPanel, IDC_JUMP_LINE)).left);
        EXPECT_EQ(350, PlaceIn(theApp.controlPanel, GetDlgItem(theApp.controlPanel, IDC_FINE_TUNE_LINE)).left);
        RECT panel = {};
        GetClientRect(theApp.controlPanel, &panel);
        EXPECT_EQ(panel.right + 1,
                  PlaceIn(theApp.controlPanel, GetDlgItem(theApp.controlPanel, IDC_PANEL_TOP_LINE)).right);
    }
}

}  // namespace
