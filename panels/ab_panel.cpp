// The A-B display: with a file, the position and length on the left, the A and B points on the
// right and, while not playing, a play button in the centre; without one, the no-file message
// and a picture of the shortcut keys. Clicks off the button move the main window.
#include "app/app_state.h"
#include "logic/time_format.h"
#include "panels/back_buffer.h"
#include "panels/panel_images.h"
#include "panels/panels.h"
#include "resource.h"
#include "win32/dialog_state.h"

#include <cwchar>

namespace {

constexpr int fontHeight = 20;
constexpr int fontWeight = 600;
constexpr int messageMargin = 8;
constexpr int shortcutTop = 45;
constexpr int hotHalf = 32;  // the play button's hot square is 64 x 64 around the centre
constexpr int timeUnits = 48;
constexpr int pointUnits = 64;
constexpr UINT boxFormat = DT_SINGLELINE | DT_VCENTER | DT_CENTER;

struct Panel {
    HWND window = nullptr;
    GdiObject<HFONT> font{CreateTahoma(fontHeight, fontWeight)};
    GdiObject<HBRUSH> background{CreateSolidBrush(RGB(255, 255, 255))};
    PanelImage playButton;
    PanelImage shortcuts;
    BackBuffer buffer;
};

void DrawNoFile(Panel& panel, HDC dc, int width, int height) {
    RECT message = {messageMargin, messageMargin, width - messageMargin, height - messageMargin};
    DrawTextW(dc, CachedString(IDS_NO_FILE), -1, &message, DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL);
    if (panel.shortcuts.Load(panel.window, IDB_SHORTCUT_TABLE))
        panel.shortcuts.DrawAt(dc, width / 2 - panel.shortcuts.Width() / 2, shortcutTop);
}

void DrawBox(HDC dc, const wchar_t* text, int left, int top, int right, int bottom) {
    RECT box = {left, top, right, bottom};
    DrawTextW(dc, text, -1, &box, boxFormat);
}

// "a: ..." or "b: ..." to the millisecond; nothing for an unset point.
void DrawPoint(HDC dc, const wchar_t* format, int point, const RECT& box) {
    if (point == unsetPoint) return;
    wchar_t time[pointUnits];
    wchar_t text[pointUnits];
    FormatTimeMs(point, true, time, pointUnits);
    swprintf(text, pointUnits, format, time);
    DrawBox(dc, text, box.left, box.top, box.right, box.bottom);
}

void DrawLoaded(Panel& panel, HDC dc, int width, int height) {
    wchar_t text[timeUnits];
    int left = width / 6, middle = width / 2, right = width - width / 6;
    int top = height / 4, centre = height / 2, bottom = height - height / 4;
    DrawBox(dc, FormatTimeMs(theApp.graph->GetPositionMs(), false, text, timeUnits), left, top, middle, centre);
    DrawBox(dc, FormatTimeMs(theApp.graph->GetStopMs(), false, text, timeUnits), left, centre, middle, bottom);
    DrawPoint(dc, L"a: %ls", theApp.pointA, RECT{middle, top, right, centre});
    DrawPoint(dc, L"b: %ls", theApp.pointB, RECT{middle, centre, right, bottom});
    if (theApp.playState != Playing && panel.playButton.Load(panel.window, IDB_PLAY_BUTTON))
        panel.playButton.DrawAt(dc, middle - panel.playButton.Width() / 2, centre - panel.playButton.Height() / 2);
}

void Redraw(Panel& panel) {
    HDC dc = panel.buffer.Dc();
    if (!dc) return;
    int width = panel.buffer.Width();
    int height = panel.buffer.Height();
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, panel.background);
    if (theApp.loaded && theApp.graph)
        DrawLoaded(panel, dc, width, height);
    else
        DrawNoFile(panel, dc, width, height);
    panel.buffer.CopyRows(panel.window, 0, height);
}

bool ButtonShown() { return theApp.loaded && theApp.playState != Playing; }

bool InHotSquare(HWND window, int x, int y) {
    RECT client = {};
    GetClientRect(window, &client);
    int cx = client.right / 2, cy = client.bottom / 2;
    return x >= cx - hotHalf && x < cx + hotHalf && y >= cy - hotHalf && y < cy + hotHalf;
}

BOOL OnSetCursor(HWND window) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    if (!ButtonShown() || !InHotSquare(window, cursor.x, cursor.y)) return FALSE;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

void OnButtonDown(HWND window, LPARAM lParam) {
    if (ButtonShown() && InHotSquare(window, LOWORD(lParam), HIWORD(lParam)))
        theApp.TogglePlay();
    else
        DragMainWindow();
}

}  // namespace

INT_PTR CALLBACK AbPanel(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Panel* panel = DialogState<Panel>(dialog);
    if (message == WM_INITDIALOG) {
        panel = AttachDialogState(dialog, std::make_unique<Panel>());
        panel->window = dialog;
        return TRUE;
    }
    if (!panel) return FALSE;
    switch (message) {
    case WM_SIZE: panel->buffer.Rebuild(dialog, panel->font); return FALSE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(dialog, &paint);
        EndPaint(dialog, &paint);
        Redraw(*panel);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_REFRESH_AB_PANEL) return FALSE;
        Redraw(*panel);
        return TRUE;
    case WM_SETCURSOR: return HandCursorResult(dialog, OnSetCursor(dialog));
    case WM_LBUTTONDOWN: OnButtonDown(dialog, lParam); return TRUE;
    case WM_NCDESTROY: FreeDialogState<Panel>(dialog); return FALSE;
    default: return FALSE;
    }
}
