// The usage-hint strip: one centred line of advice on a light-yellow band under the control
// panel. Its text never changes, so it is drawn only when the system asks.
#include "app/app_state.h"
#include "panels/back_buffer.h"
#include "panels/panels.h"
#include "resource.h"
#include "win32/dialog_state.h"

namespace {

constexpr COLORREF bandColour = RGB(255, 255, 205);
constexpr int lineHeight = 2;  // the etched line along the bottom edge

constexpr int fontHeight = 12;

struct Strip {
    HWND window = nullptr;
    HWND line = nullptr;
    GdiObject<HFONT> font{CreateTahoma(fontHeight)};
    GdiObject<HBRUSH> background{CreateSolidBrush(GetSysColor(COLOR_BTNFACE))};
    GdiObject<HBRUSH> band{CreateSolidBrush(bandColour)};
    BackBuffer buffer;
};

void Redraw(Strip& strip) {
    HDC dc = strip.buffer.Dc();
    if (!dc) return;
    int width = strip.buffer.Width();
    int height = strip.buffer.Height();
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, strip.background);
    RECT band = {0, 1, width, height - lineHeight};
    FillRect(dc, &band, strip.band);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, CachedString(IDS_USAGE_HINT), -1, &band, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SetBkMode(dc, oldMode);
    strip.buffer.CopyRows(strip.window, 0, height - lineHeight);
}

void OnSize(Strip& strip) {
    strip.buffer.Rebuild(strip.window, strip.font);
    SetWindowPos(strip.line, nullptr, 0, strip.buffer.Height() - lineHeight, strip.buffer.Width() + 1, lineHeight, 0);
}

}  // namespace

INT_PTR CALLBACK InfoStrip(HWND dialog, UINT message, WPARAM, LPARAM) {
    Strip* strip = DialogState<Strip>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        strip = AttachDialogState(dialog, std::make_unique<Strip>());
        strip->window = dialog;
        strip->line = GetDlgItem(dialog, IDC_INFO_LINE);
        return TRUE;
    case WM_SIZE:
        if (strip) OnSize(*strip);
        return FALSE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(dialog, &paint);
        EndPaint(dialog, &paint);
        if (strip) Redraw(*strip);
        return TRUE;
    }
    case WM_NCDESTROY: FreeDialogState<Strip>(dialog); return FALSE;
    case WM_LBUTTONDOWN: DragMainWindow(); return TRUE;
    default: return FALSE;
    }
}
