// The main window's procedure: layout, the command table, the first menu's texts and states,
// dropped files and the program's own messages.
#include "app/app_state.h"
#include "online/online.h"
#include "resource.h"

#include <shellapi.h>

const wchar_t mainWindowClass[] = L"Clipvane";

namespace {

// The container fills the client area above the status bar.
void LayOutMainWindow() {
    SendMessageW(theApp.statusBar, WM_SIZE, 0, 0);
    RECT bar = {};
    GetWindowRect(theApp.statusBar, &bar);
    RECT client = {};
    GetClientRect(theApp.mainWindow, &client);
    SetWindowPos(theApp.panelContainer, nullptr, 0, 0, client.right, client.bottom - (bar.bottom - bar.top), 0);
}

void SetMenuText(HMENU menu, UINT command, UINT stringId) {
    ModifyMenuW(menu, command, MF_BYCOMMAND | MF_STRING, command, CachedString(stringId));
}

void EnableCommand(HMENU menu, UINT command, bool enabled) {
    EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

bool AppState::OnCommand(WORD command) {
    switch (command) {
    case IDM_OPEN: OpenFile(nullptr); break;
    case IDM_SAMPLE: OpenSample(); break;
    case IDM_PLAY_PAUSE: TogglePlay(); break;
    case IDM_STOP: Stop(); break;
    case IDM_JUMP_FORWARD: JumpForward(); break;
    case IDM_JUMP_BACKWARD: JumpBackward(); break;
    case IDM_GO_TO_START: GoToStart(); break;
    case IDM_GO_TO_END: GoToEnd(); break;
    case IDM_A_MINUS: FineTuneAMinus(); break;
    case IDM_A_PLUS: FineTuneAPlus(); break;
    case IDM_B_MINUS: FineTuneBMinus(); break;
    case IDM_B_PLUS: FineTuneBPlus(); break;
    case IDM_MARK_AB: MarkAB(); break;
    case IDM_CUT: CutAbPart(); break;
    case IDM_TOOLS_PAGE:
    case IDM_HOME_PAGE:
    case IDM_BLOG_PAGE:
    case IDM_DONATE_PAGE: OpenWebPage(command); break;
    case IDM_TOPMOST: ToggleTopmost(); break;
    case IDM_ABOUT: DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_ABOUT), mainWindow, AboutDialog, 0); break;
    case IDM_EXIT: Exit(); break;
    default: return false;
    }
    return true;
}

void AppState::UpdateMenu(HMENU menu, UINT position) {
    if (position != 0) return;
    SetMenuText(menu, IDM_PLAY_PAUSE, loaded && playState == Playing ? IDS_MENU_PAUSE : IDS_MENU_PLAY);
    SetMenuText(menu, IDM_TOPMOST, topmost ? IDS_MENU_NOT_TOPMOST : IDS_MENU_TOPMOST);
    SetMenuText(menu, IDM_MARK_AB,
                pointA == unsetPoint   ? IDS_MENU_SET_A
                : pointB == unsetPoint ? IDS_MENU_SET_B
                                       : IDS_MENU_CANCEL_AB);

    bool active = IsActive();
    EnableCommand(menu, IDM_PLAY_PAUSE, loaded);
    for (UINT command : {IDM_STOP, IDM_MARK_AB, IDM_JUMP_BACKWARD, IDM_JUMP_FORWARD, IDM_GO_TO_START, IDM_GO_TO_END})
        EnableCommand(menu, command, active);
    EnableCommand(menu, IDM_CUT, pointA != unsetPoint && pointB != unsetPoint);
    EnableCommand(menu, IDM_A_PLUS, pointA != unsetPoint);
    EnableCommand(menu, IDM_A_MINUS, pointA != unsetPoint);
    EnableCommand(menu, IDM_B_PLUS, pointB != unsetPoint);
    EnableCommand(menu, IDM_B_MINUS, pointB != unsetPoint);
}

void AppState::ToggleTopmost() {
    SetWindowPos(mainWindow, topmost ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    topmost = !topmost;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_SIZE: LayOutMainWindow(); return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_ENDSESSION: theApp.SaveSettings(window); return 0;
    case WM_COMMAND:
        if (!theApp.OnCommand(LOWORD(wParam))) return DefWindowProcW(window, message, wParam, lParam);
        return 0;
    case WM_CLOSE: theApp.Exit(); return 0;
    case WM_TIMER: theApp.OnPlayTimer(); return 0;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) == 0) theApp.UpdateMenu(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
        return 0;
    case WM_DROPFILES: theApp.OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
    case graphEventMessage: theApp.DrainGraphEvents(); return 0;
    case newVersionMessage: ShowNewVersionDialog(newVersionMessage); return 0;
    case versionDeprecatedMessage:
        ShowNewVersionDialog(versionDeprecatedMessage);
        // Exit rather than a bare shutdown: a graph still playing must be torn down before the process ends.
        theApp.Exit();
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
