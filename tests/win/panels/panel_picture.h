// Pictures of a panel: the one a test composes by hand from the layout's numbers, the program's
// bitmaps and the panel's font, compared exactly with what the window shows; and how the panels
// answer the cursor and hand clicks to the main window.
#pragma once

#include "app/app_state.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <vector>

class Picture {
public:
    // A picture of `window`'s client size, filled with `colour`.
    Picture(HWND window, COLORREF colour) : window_(window) {
        RECT client = {};
        GetClientRect(window, &client);
        width = client.right, height = client.bottom;
        HDC screen = GetDC(window);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(window, screen);
        previous_ = SelectObject(dc_, bitmap_);
        Fill({0, 0, width, height}, colour);
    }
    ~Picture() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    void Fill(RECT area, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc_, &area, brush);
        DeleteObject(brush);
    }
    // A bitmap of the program's resources combined as the panels combine theirs (white shows through).
    void Image(UINT id, int x, int y) {
        HBITMAP image = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
        HDC source = CreateCompatibleDC(dc_);
        HGDIOBJ old = SelectObject(source, image);
        BITMAP size = {};
        GetObjectW(image, sizeof size, &size);
        BitBlt(dc_, x, y, size.bmWidth, size.bmHeight, source, 0, 0, SRCAND);
        SelectObject(source, old);
        DeleteDC(source);
        DeleteObject(image);
    }
    // Black text in "Tahoma" `height` pixels high, on white unless `transparent`.
    void Text(const wchar_t* text, RECT box, UINT format, int height, int weight, bool transparent) {
        LOGFONTW font = {};
        font.lfHeight = -height;
        font.lfWeight = weight;
        lstrcpyW(font.lfFaceName, L"Tahoma");
        HFONT handle = CreateFontIndirectW(&font);
        HGDIOBJ old = SelectObject(dc_, handle);
        SetBkMode(dc_, transparent ? TRANSPARENT : OPAQUE);
        DrawTextW(dc_, text, -1, &box, format);
        DeleteObject(SelectObject(dc_, old));
    }
    // Two rows, shadow above highlight: the etched separators along the panels' edges.
    void EtchedLine(int top) {
        Fill({0, top, width, top + 1}, GetSysColor(COLOR_BTNSHADOW));
        Fill({0, top + 1, width, top + 2}, GetSysColor(COLOR_BTNHIGHLIGHT));
    }
    // Exactly what the window shows, or the first differing pixels.
    ::testing::AssertionResult Shown() const {
        Picture screen(window_, 0);
        HDC windowDc = GetDC(window_);
        BitBlt(screen.dc_, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
        ReleaseDC(window_, windowDc);
        std::vector<COLORREF> expected = Pixels(), shown = screen.Pixels();
        ::testing::AssertionResult result = ::testing::AssertionFailure();
        int differing = 0;
        for (size_t i = 0; i < expected.size(); ++i)
            if (expected[i] != shown[i] && differing++ < 8)
                result << "(" << i % width << "," << i / width << ") " << std::hex << expected[i] << " shown as "
                       << shown[i] << std::dec << "; ";
        if (!differing) return ::testing::AssertionSuccess();
        return result << differing << " pixels differ";
    }
    int width = 0, height = 0;

private:
    std::vector<COLORREF> Pixels() const {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<COLORREF> pixels(static_cast<size_t>(width) * height);
        GetDIBits(dc_, bitmap_, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
        return pixels;
    }
    HWND window_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Sends WM_SETCURSOR with the cursor at (x, y): true when the window set the hand cursor.
inline bool HandAt(HWND window, int x, int y) {
    POINT screen = {x, y};
    ClientToScreen(window, &screen);
    SetCursorPos(screen.x, screen.y);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    BOOL handled = static_cast<BOOL>(
        SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    return handled && GetCursor() == LoadCursorW(nullptr, IDC_HAND);
}

// The caption clicks the panels hand to the main window (WM_NCLBUTTONDOWN with HTCAPTION), counted
// here instead of starting a move of the window, which would wait for the button to come up.
struct CaptionClicks {
    static void Watch() {
        count = 0;
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(theApp.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Count)));
    }
    static LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_NCLBUTTONDOWN || wParam != HTCAPTION || lParam != 0)
            return CallWindowProcW(original, window, message, wParam, lParam);
        ++count;
        return 0;
    }
    static inline int count = 0;
    static inline WNDPROC original = nullptr;
};
