// The embedded web page: a child window that hosts the system's web-browser control through a
// hand-written OLE container, shown inside the control panel.
#pragma once

#include <windows.h>

extern const wchar_t browserHostClass[];

// Results of EmbedBrowser and NavigateBrowser.
enum BrowserHostResult : int {
    BrowserEmbedded = 0,
    NoHostRecord = -1,
    NoBrowserFactory = -2,
    BrowserNotCreated = -3,
    BrowserNotActivated = -4,
    NoWebBrowser2 = -5,
    AddressNotCopied = -6,
};

// Registers the window class and creates the host window inside `parent`, then navigates it to
// `address` and shows it. Null when the browser cannot be embedded.
HWND CreateBrowserHost(HINSTANCE instance, HWND parent, const wchar_t* address);
LRESULT CALLBACK BrowserHostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

int EmbedBrowser(HWND window);
// Safe to call on a window without a browser, and more than once.
void UnembedBrowser(HWND window);
int NavigateBrowser(HWND window, const wchar_t* address);
void ResizeBrowser(HWND window, long width, long height);

// The control panel's layout of the page: right of its last separator line, inside a margin.
// Does nothing without a host window.
void PlaceBrowserWindow(HWND browserWindow, int panelWidth, int panelHeight);
