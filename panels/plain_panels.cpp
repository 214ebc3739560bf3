// The A-B display and the timeline bar as plain panels: created from their real templates,
// they answer their refresh command and show their background. Their drawing and mouse
// handling are the next step.
#include "panels/panels.h"
#include "resource.h"

namespace {

INT_PTR PlainPanel(UINT message, WPARAM wParam, int refreshId) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        return LOWORD(wParam) == refreshId;
    case WM_LBUTTONDOWN:
        DragMainWindow();
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK AbPanel(HWND, UINT message, WPARAM wParam, LPARAM) {
    return PlainPanel(message, wParam, IDC_REFRESH_AB_PANEL);
}

INT_PTR CALLBACK TimelineBar(HWND, UINT message, WPARAM wParam, LPARAM) {
    return PlainPanel(message, wParam, IDC_REFRESH_TIMELINE);
}
