// The transport toolbar: thirteen entries whose image strip and enabled states mirror the
// transport state.
#include "app/app_state.h"
#include "resource.h"

#include <commctrl.h>

namespace {

constexpr int buttonWidth = 45;
constexpr int buttonHeight = 32;
constexpr int stripImages = 10;
constexpr UINT tooltipDelayMs = 50;

UINT currentStrip = IDB_STRIP_PLAY_SET_A;

TBBUTTON Button(int image, int command) {
    TBBUTTON button = {};
    button.iBitmap = image;
    button.idCommand = command;
    button.fsState = TBSTATE_ENABLED;
    return button;
}

TBBUTTON Separator() {
    TBBUTTON button = {};
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = TBSTYLE_SEP;
    return button;
}

UINT ChosenStrip() {
    const AppState& app = theApp;
    bool playing = app.loaded && app.playState == Playing;
    bool paused = app.loaded && app.playState == Paused;
    if (!playing && !paused) return IDB_STRIP_PLAY_SET_A;
    if (app.pointA == unsetPoint) return playing ? IDB_STRIP_PAUSE_SET_A : IDB_STRIP_PLAY_SET_A;
    if (app.pointB == unsetPoint) return playing ? IDB_STRIP_PAUSE_SET_B : IDB_STRIP_PLAY_SET_B;
    return playing ? IDB_STRIP_PAUSE_CANCEL : IDB_STRIP_PLAY_CANCEL;
}

void SetButtonEnabled(int command, bool enabled) {
    SendMessageW(theApp.toolbar, TB_SETSTATE, command, MAKELONG(enabled ? TBSTATE_ENABLED : 0, 0));
}

}  // namespace

void AppState::CreateToolbar() {
    toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT | CCS_BOTTOM, 0,
                              0, 0, 0, panelContainer, nullptr, hInstance, nullptr);
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELONG(buttonWidth, buttonHeight));
    SendMessageW(toolbar, TB_SETBUTTONSIZE, 0, MAKELONG(buttonWidth, buttonHeight));
    TBADDBITMAP strip = {hInstance, IDB_STRIP_PLAY_SET_A};
    SendMessageW(toolbar, TB_ADDBITMAP, stripImages, reinterpret_cast<LPARAM>(&strip));
    TBBUTTON buttons[] = {
        Button(0, IDM_OPEN),
        Separator(),
        Button(1, IDM_PLAY_PAUSE),
        Button(2, IDM_JUMP_FORWARD),
        Button(3, IDM_JUMP_BACKWARD),
        Separator(),
        Button(4, IDM_MARK_AB),
        Button(5, IDM_CUT),
        Separator(),
        Button(6, IDM_A_PLUS),
        Button(7, IDM_A_MINUS),
        Button(8, IDM_B_PLUS),
        Button(9, IDM_B_MINUS),
    };
    SendMessageW(toolbar, TB_ADDBUTTONSW, sizeof(buttons) / sizeof(buttons[0]), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    HWND tooltip = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
    if (tooltip) {
        SendMessageW(tooltip, TTM_SETDELAYTIME, TTDT_INITIAL, tooltipDelayMs);
        // Wine will not make a window topmost while it owns a tooltip that has not shown yet
        // ("窗口置顶" would do nothing); an unowned tooltip shows and hides just the same.
        SetWindowLongPtrW(tooltip, GWLP_HWNDPARENT, 0);
    }
    ShowWindow(toolbar, SW_SHOW);
    currentStrip = IDB_STRIP_PLAY_SET_A;
}

void AppState::UpdateToolbarImages() {
    UINT chosen = ChosenStrip();
    TBREPLACEBITMAP replace = {hInstance, currentStrip, hInstance, chosen, stripImages};
    SendMessageW(toolbar, TB_REPLACEBITMAP, 0, reinterpret_cast<LPARAM>(&replace));
    InvalidateRect(toolbar, nullptr, TRUE);
    currentStrip = chosen;
}

UINT CurrentToolbarStrip() { return currentStrip; }

void AppState::UpdateToolbarStates() {
    bool active = IsActive();
    SetButtonEnabled(IDM_OPEN, true);
    SetButtonEnabled(IDM_PLAY_PAUSE, loaded);
    SetButtonEnabled(IDM_JUMP_FORWARD, active);
    SetButtonEnabled(IDM_JUMP_BACKWARD, active);
    SetButtonEnabled(IDM_MARK_AB, active);
    SetButtonEnabled(IDM_CUT, active && pointB != unsetPoint);
    SetButtonEnabled(IDM_A_PLUS, active && pointA != unsetPoint);
    SetButtonEnabled(IDM_A_MINUS, active && pointA != unsetPoint);
    SetButtonEnabled(IDM_B_PLUS, active && pointB != unsetPoint);
    SetButtonEnabled(IDM_B_MINUS, active && pointB != unsetPoint);
}
