// Pictures of a panel: the one on screen, read back from the window, and the one a test composes
// by hand from the layout's numbers, the program's bitmaps and the panel's font; compared exactly.
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
        width_ = client.right, height_ = client.bottom;
        HDC screen = GetDC(window);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width_, height_);
        ReleaseDC(window, screen);
        previous_ = SelectObject(dc_, bitmap_);
        Fill({0, 0, width_, height_}, colour);
    }
    ~Picture() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    // What the window shows now.
    static std::vector<COLORREF> OnScreen(HWND window) {
        Picture shown(window, 0);
        HDC screen = GetDC(window);
        BitBlt(shown.dc_, 0, 0, shown.width_, shown.height_, screen, 0, 0, SRCCOPY);
        ReleaseDC(window, screen);
        return shown.Pixels();
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
    // Black text in "Tahoma" of `height` pixels; on white unless `transparent`.
    void Text(const wchar_t* text, RECT box, UINT format, int height, int weight, bool transparent) {
        LOGFONTW font = {};
        font.lfHeight = -height;
        font.lfWeight = weight;
        lstrcpyW(font.lfFaceName, L"Tahoma");
        HFONT handle = CreateFontIndirectW(&font);
        HGDIOBJ old = SelectObject(dc_, handle);
        SetBkMode(dc_, transparent ? TRANSPARENT : OPAQUE);
        DrawTextW(dc_, text, -1, &box, format);
        SelectObject(dc_, old);
        DeleteObject(handle);
    }
    // Exactly what the window shows, or where the first differences lie.
    ::testing::AssertionResult Shown() const {
        std::vector<COLORREF> expected = Pixels(), shown = OnScreen(window_);
        int differing = 0;
        ::testing::AssertionResult result = ::testing::AssertionFailure();
        for (size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] == shown[i]) continue;
            if (differing++ < 8)
                result << "(" << i % width_ << "," << i / width_ << ") expected " << std::hex << expected[i]
                       << " shown " << shown[i] << std::dec << "; ";
        }
        if (!differing) return ::testing::AssertionSuccess();
        return result << differing << " of " << expected.size() << " pixels differ";
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    std::vector<COLORREF> Pixels() const {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<COLORREF> pixels(static_cast<size_t>(width_) * height_);
        GetDIBits(dc_, bitmap_, 0, height_, pixels.data(), &info, DIB_RGB_COLORS);
        return pixels;
    }
    HWND window_;
    int width_ = 0, height_ = 0;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// An etched line two rows high across `width`, as the separators along the panels' edges show.
inline void EtchedLine(Picture& picture, int top, int width) {
    picture.Fill({0, top, width, top + 1}, GetSysColor(COLOR_BTNSHADOW));
    picture.Fill({0, top + 1, width, top + 2}, GetSysColor(COLOR_BTNHIGHLIGHT));
}

// Where the cursor stands decides WM_SETCURSOR: true when the window set the hand cursor.
inline bool HandAt(HWND window, int x, int y) {
    POINT screen = {x, y};
    ClientToScreen(window, &screen);
    SetCursorPos(screen.x, screen.y);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    BOOL handled = static_cast<BOOL>(SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                                                  MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    return handled && GetCursor() == LoadCursorW(nullptr, IDC_HAND);
}

// The caption clicks the panels hand to the main window (WM_NCLBUTTONDOWN with HTCAPTION), counted
// here instead of starting a move of the window, which would wait for the button to come up.
struct CaptionClicks {
    void Watch() {
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
