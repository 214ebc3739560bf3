// The host window of the embedded page: its class, its procedure and its place in the control panel.
#include "webhost/browser_host.h"

const wchar_t browserHostClass[] = L"CLIPVANE_HTMLPage";

namespace {

// Right of the control panel's last separator line, inside a margin.
constexpr int pageLeft = 355;
constexpr int pageTop = 5;
constexpr int pageWidthReserve = 358;
constexpr int pageHeightReserve = 10;

void RegisterBrowserHostClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.hInstance = instance;
    windowClass.lpfnWndProc = BrowserHostWindowProc;
    windowClass.lpszClassName = browserHostClass;
    RegisterClassExW(&windowClass);
}

}  // namespace

LRESULT CALLBACK BrowserHostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return EmbedBrowser(window) == BrowserEmbedded ? 0 : -1;
    case WM_DESTROY: UnembedBrowser(window); return 1;
    case WM_SIZE: ResizeBrowser(window, LOWORD(lParam), HIWORD(lParam)); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateBrowserHost(HINSTANCE instance, HWND parent, const wchar_t* address) {
    RegisterBrowserHostClass(instance);
    HWND window = CreateWindowExW(WS_EX_CLIENTEDGE, browserHostClass, nullptr, WS_CHILD, 0, 0, 0, 0, parent, nullptr,
                                  instance, nullptr);
    if (!window) return nullptr;
    NavigateBrowser(window, address);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

void PlaceBrowserWindow(HWND browserWindow, int panelWidth, int panelHeight) {
    if (!browserWindow) return;
    SetWindowPos(browserWindow, nullptr, pageLeft, pageTop, panelWidth - pageWidthReserve,
                 panelHeight - pageHeightReserve, 0);
    InvalidateRect(browserWindow, nullptr, TRUE);
}
