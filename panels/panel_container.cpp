// The container: creates the four panels and the toolbar, keeps the stack fitted to its size,
// names the toolbar's buttons in their tooltips and hands the buttons' commands on.
#include "app/app_state.h"
#include "logic/panel_geometry.h"
#include "panels/panels.h"
#include "resource.h"

#include <commctrl.h>

namespace {

HWND CreatePanel(HWND container, UINT templateId, DLGPROC procedure) {
    return CreateDialogParamW(theApp.hInstance, MAKEINTRESOURCEW(templateId), container, procedure, 0);
}

void CreatePanels(HWND container) {
    theApp.panelContainer = container;
    theApp.controlPanel = CreatePanel(container, IDD_CONTROL_PANEL, ControlPanel);
    theApp.infoStrip = CreatePanel(container, IDD_INFO_STRIP, InfoStrip);
    theApp.abPanel = CreatePanel(container, IDD_AB_PANEL, AbPanel);
    theApp.timelineBar = CreatePanel(container, IDD_TIMELINE, TimelineBar);
    theApp.CreateToolbar();
    theApp.UpdateToolbarStates();
}

void PlacePanel(HWND panel, int width, PanelPlace place) {
    SetWindowPos(panel, nullptr, 0, place.top, width, place.height, 0);
}

void LayOutPanels(HWND container) {
    // The toolbar docks itself at the bottom and takes the new width.
    SendMessageW(theApp.toolbar, WM_SIZE, 0, 0);
    RECT toolbar = {};
    GetWindowRect(theApp.toolbar, &toolbar);
    MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&toolbar), 2);
    RECT client = {};
    GetClientRect(container, &client);
    // Measured from the toolbar's top rather than its height: Wine docks it two pixels above
    // the bottom edge, and the timeline bar must still end where the toolbar begins.
    PanelStack stack = LayoutPanelStack(client.bottom, client.bottom - toolbar.top);
    PlacePanel(theApp.controlPanel, client.right, stack.controlPanel);
    PlacePanel(theApp.infoStrip, client.right, stack.infoStrip);
    PlacePanel(theApp.timelineBar, client.right, stack.timelineBar);
    PlacePanel(theApp.abPanel, client.right, stack.abPanel);
}

UINT TooltipText(UINT command) {
    switch (command) {
    case IDM_OPEN: return IDS_TIP_OPEN;
    case IDM_PLAY_PAUSE: return theApp.playState == Playing ? IDS_TIP_PAUSE : IDS_TIP_PLAY;
    case IDM_JUMP_FORWARD: return IDS_TIP_JUMP_FORWARD;
    case IDM_JUMP_BACKWARD: return IDS_TIP_JUMP_BACKWARD;
    case IDM_A_MINUS: return IDS_TIP_A_MINUS;
    case IDM_A_PLUS: return IDS_TIP_A_PLUS;
    case IDM_B_MINUS: return IDS_TIP_B_MINUS;
    case IDM_B_PLUS: return IDS_TIP_B_PLUS;
    case IDM_MARK_AB:
        return theApp.pointA == unsetPoint   ? IDS_TIP_SET_A
               : theApp.pointB == unsetPoint ? IDS_TIP_SET_B
                                             : IDS_TIP_CANCEL_AB;
    case IDM_CUT: return IDS_TIP_CUT;
    default: return 0;
    }
}

void SupplyTooltip(NMTTDISPINFOW& info) {
    UINT text = TooltipText(static_cast<UINT>(info.hdr.idFrom));
    if (!text) return;
    info.hinst = theApp.hInstance;
    info.lpszText = MAKEINTRESOURCEW(text);
}

// The toolbar's ten buttons; the same commands come from the menu and the keys.
bool IsToolbarCommand(WORD command) {
    switch (command) {
    case IDM_OPEN:
    case IDM_PLAY_PAUSE:
    case IDM_JUMP_FORWARD:
    case IDM_JUMP_BACKWARD:
    case IDM_MARK_AB:
    case IDM_CUT:
    case IDM_A_PLUS:
    case IDM_A_MINUS:
    case IDM_B_PLUS:
    case IDM_B_MINUS: return true;
    default: return false;
    }
}

}  // namespace

INT_PTR CALLBACK PanelContainer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: CreatePanels(dialog); return TRUE;
    case WM_SIZE: LayOutPanels(dialog); return FALSE;
    case WM_ERASEBKGND: {
        // The panels cover the container, but the flat toolbar is transparent and asks its
        // parent for the background behind its buttons (with its own DC).
        RECT area = {};
        GetClipBox(reinterpret_cast<HDC>(wParam), &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, GetSysColorBrush(COLOR_BTNFACE));
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_NOTIFY: {
        NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOW) SupplyTooltip(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
        return FALSE;
    }
    case WM_COMMAND:
        if (IsToolbarCommand(LOWORD(wParam))) theApp.OnCommand(LOWORD(wParam));
        return FALSE;
    default: return FALSE;
    }
}

BOOL HandCursorResult(HWND dialog, BOOL handled) {
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, handled);
    return handled;
}

void DragMainWindow() { SendMessageW(theApp.mainWindow, WM_NCLBUTTONDOWN, HTCAPTION, 0); }
