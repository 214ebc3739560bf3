// The timeline bar: the file's length as a track, the played part dark, the thumb at the
// position, the A and B flags, and the time under the thumb while it is dragged. A click on the
// track seeks at once; a thumb drag seeks on release; other clicks move the main window.
#include "app/app_state.h"
#include "logic/panel_geometry.h"
#include "logic/time_format.h"
#include "panels/back_buffer.h"
#include "panels/panel_images.h"
#include "panels/panels.h"
#include "resource.h"
#include "win32/dialog_state.h"

namespace {

constexpr COLORREF darkGrey = RGB(70, 70, 70);
constexpr COLORREF lightGrey = RGB(220, 220, 220);
constexpr int fontHeight = 10;
constexpr int trackTop = 14;
constexpr int trackBottom = 18;
constexpr int flagTop = 4;
constexpr int flagAShift = 10;  // the A flag's staff is its rightmost column
constexpr int thumbShift = 9;   // the thumb's tip is its column 6
constexpr int thumbTop = 19;
constexpr int labelShift = 27;
constexpr int labelTop = 22;
constexpr int separatorRows = 2;
constexpr int noDrag = -1;
constexpr int timeUnits = 48;

struct Bar {
    HWND window = nullptr;
    GdiObject<HFONT> font{CreateTahoma(fontHeight)};
    GdiObject<HPEN> outline{CreatePen(PS_SOLID, 1, darkGrey)};
    GdiObject<HBRUSH> background{CreateSolidBrush(GetSysColor(COLOR_BTNFACE))};
    GdiObject<HBRUSH> played{CreateSolidBrush(darkGrey)};
    GdiObject<HBRUSH> remaining{CreateSolidBrush(lightGrey)};
    PanelImage flagA;
    PanelImage flagB;
    PanelImage thumb;
    BackBuffer buffer;  // after the pen: the buffer goes first, and with it the pen's selection
    bool dragging = false;
    int dragX = 0;
    int lastMouseX = 0;
};

int StopMs() { return theApp.graph ? theApp.graph->GetStopMs() : 0; }

int TrackLengthOf(const Bar& bar) {
    RECT client = {};
    GetClientRect(bar.window, &client);
    return TrackLength(client.right);
}

int PositionPixel(int trackLength) {
    if (!theApp.loaded || !theApp.graph) return 0;
    return PositionToPixel(theApp.graph->GetPositionMs(), StopMs(), trackLength);
}

void FillColumns(HDC dc, int left, int right, HBRUSH brush) {
    RECT part = {left, trackTop, right + 1, trackBottom + 1};
    if (part.right > part.left) FillRect(dc, &part, brush);
}

void DrawTrack(Bar& bar, HDC dc, int trackLength, int p) {
    int end = trackOrigin + trackLength;
    FillColumns(dc, trackOrigin, trackOrigin + p, bar.played);
    FillColumns(dc, trackOrigin + p + 1, end, bar.remaining);
    POINT outline[] = {{trackOrigin, trackTop},
                       {end, trackTop},
                       {end, trackBottom},
                       {trackOrigin, trackBottom},
                       {trackOrigin, trackTop}};
    Polyline(dc, outline, 5);
}

void DrawFlags(Bar& bar, HDC dc, int trackLength) {
    int stop = StopMs();
    if (theApp.pointA != unsetPoint && bar.flagA.Load(bar.window, IDB_FLAG_A))
        bar.flagA.DrawAt(dc, PositionToPixel(theApp.pointA, stop, trackLength) + flagAShift, flagTop);
    if (theApp.pointB != unsetPoint && bar.flagB.Load(bar.window, IDB_FLAG_B))
        bar.flagB.DrawAt(dc, PositionToPixel(theApp.pointB, stop, trackLength) + trackOrigin, flagTop);
}

void Redraw(Bar& bar, int dragPos) {
    HDC dc = bar.buffer.Dc();
    if (!dc) return;
    int width = bar.buffer.Width();
    int height = bar.buffer.Height();
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, bar.background);
    int trackLength = TrackLength(width);
    int p = PositionPixel(trackLength);
    DrawTrack(bar, dc, trackLength, p);
    if (theApp.IsActive()) DrawFlags(bar, dc, trackLength);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    int x = dragPos == noDrag ? p : dragPos;
    if (bar.thumb.Load(bar.window, IDB_THUMB)) bar.thumb.DrawAt(dc, x + thumbShift, thumbTop);
    if (dragPos != noDrag) {
        wchar_t text[timeUnits];
        FormatTimeMs(PixelToPosition(dragPos, StopMs(), trackLength), false, text, timeUnits);
        RECT label = {x + labelShift, labelTop, width, height};
        DrawTextW(dc, text, -1, &label, DT_SINGLELINE);
    }
    SetBkMode(dc, oldMode);
    bar.buffer.CopyRows(bar.window, separatorRows, height - separatorRows);
}

// A file without a length has nowhere to seek to.
void SeekToPixel(int offset, int trackLength) {
    int stop = StopMs();
    if (stop > 0) theApp.graph->SeekMs(PixelToPosition(offset, stop, trackLength));
}

void OnButtonDown(Bar& bar, LPARAM lParam) {
    int x = LOWORD(lParam);
    int y = HIWORD(lParam);
    if (!bar.dragging && theApp.IsActive()) {
        int trackLength = TrackLengthOf(bar);
        int p = PositionPixel(trackLength);
        if (InThumbHitArea(x, y, p)) {
            SetCapture(bar.window);
            bar.dragging = true;
            bar.dragX = p;
            Redraw(bar, p);
            bar.lastMouseX = x;
            return;
        }
        if (InTrackHitArea(x, y, trackLength)) {
            SeekToPixel(ClampToTrack(x - trackOrigin, trackLength), trackLength);
            Redraw(bar, noDrag);
            theApp.RefreshPanels();
            return;
        }
    }
    DragMainWindow();
}

void OnMouseMove(Bar& bar, LPARAM lParam) {
    if (!bar.dragging) return;
    int x = MouseXFromWord(LOWORD(lParam));
    bar.dragX = ClampToTrack(bar.dragX + x - bar.lastMouseX, TrackLengthOf(bar));
    Redraw(bar, bar.dragX);
    bar.lastMouseX = x;
}

void CommitDrag(Bar& bar) {
    int trackLength = TrackLengthOf(bar);
    bar.dragX = ClampToTrack(bar.dragX, trackLength);
    Redraw(bar, bar.dragX);
    SeekToPixel(bar.dragX, trackLength);
    Redraw(bar, noDrag);
}

// Ends a drag on release or loss of capture; after the file was closed or stopped during the
// drag it seeks nothing. The drag is over before the panels are refreshed, which would otherwise
// show its label again. The end of the file ends a drag this way too, so a capture that another
// window holds (the volume slider's, a window move's) is left alone.
void EndDrag(Bar& bar) {
    bool commit = bar.dragging && theApp.IsActive();
    if (commit) CommitDrag(bar);
    bar.dragging = false;
    if (GetCapture() == bar.window) ReleaseCapture();
    if (commit) theApp.RefreshPanels();
}

bool OverTrackOrThumb(const Bar& bar) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    ScreenToClient(bar.window, &cursor);
    int trackLength = TrackLengthOf(bar);
    return InThumbHitArea(cursor.x, cursor.y, PositionPixel(trackLength)) ||
           InTrackHitArea(cursor.x, cursor.y, trackLength);
}

BOOL OnSetCursor(Bar& bar) {
    if (!bar.dragging && !(theApp.IsActive() && OverTrackOrThumb(bar))) return FALSE;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

void OnSize(Bar& bar) {
    bar.buffer.Rebuild(bar.window, bar.font);
    SelectObject(bar.buffer.Dc(), bar.outline);
    SetWindowPos(GetDlgItem(bar.window, IDC_TIMELINE_LINE), nullptr, 0, 0, bar.buffer.Width() + 1, separatorRows,
                 SWP_NOZORDER);
}

}  // namespace

INT_PTR CALLBACK TimelineBar(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Bar* bar = DialogState<Bar>(dialog);
    if (message == WM_INITDIALOG) {
        bar = AttachDialogState(dialog, std::make_unique<Bar>());
        bar->window = dialog;
        return TRUE;
    }
    if (!bar) return FALSE;
    switch (message) {
    case WM_SIZE: OnSize(*bar); return FALSE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(dialog, &paint);
        EndPaint(dialog, &paint);
        Redraw(*bar, bar->dragging ? bar->dragX : noDrag);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_REFRESH_TIMELINE) return FALSE;
        Redraw(*bar, bar->dragging && theApp.IsActive() ? bar->dragX : noDrag);
        return TRUE;
    case WM_SETCURSOR: return HandCursorResult(dialog, OnSetCursor(*bar));
    case WM_LBUTTONDOWN: OnButtonDown(*bar, lParam); return TRUE;
    case WM_MOUSEMOVE: OnMouseMove(*bar, lParam); return TRUE;
    case WM_LBUTTONUP:
        if (bar->dragging) EndDrag(*bar);
        return TRUE;
    case WM_CAPTURECHANGED: EndDrag(*bar); return TRUE;
    case WM_NCDESTROY: FreeDialogState<Bar>(dialog); return FALSE;
    default: return FALSE;
    }
}
