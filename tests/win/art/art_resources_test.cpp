// The generated artwork as Windows itself sees it once windres has embedded it: the busy
// clip opens and plays in a real animation control (which accepts only simple RLE8 clips),
// its background becomes transparent, the icon group holds native 16/32/48 px images, the
// six toolbar strips load at their full size and the panel pictures load as the panels load
// them, with their staffs, tip and white background where the drawing code expects them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "resource.h"

namespace {

constexpr int kClipSide = 32;
constexpr int kStripWidth = 450;
constexpr int kStripHeight = 32;
constexpr COLORREF kParentBackground = RGB(250, 200, 200);  // unlike anything in the clip
constexpr UINT kFrameMs = 100;
const wchar_t kHostClass[] = L"ClipvaneArtTestHost";

HBRUSH ParentBrush() {
    static HBRUSH brush = CreateSolidBrush(kParentBackground);
    return brush;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CTLCOLORSTATIC:  // how a transparent animation control asks for its background
        SetBkColor(reinterpret_cast<HDC>(wParam), kParentBackground);
        return reinterpret_cast<LRESULT>(ParentBrush());
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(window, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, ParentBrush());
        return 1;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

// The control's client area as 0x00RRGGBB values, read back from the screen.
std::vector<COLORREF> Capture(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    const int w = r.right, h = r.bottom;
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<COLORREF> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + w * h);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(control, screen);
    return pixels;
}

COLORREF AsDibPixel(COLORREF rgb) {  // COLORREF is 0x00BBGGRR, a 32-bit DIB pixel 0x00RRGGBB
    return (GetRValue(rgb) << 16) | (GetGValue(rgb) << 8) | GetBValue(rgb);
}

bool IsClipBlue(COLORREF dibPixel) {  // the dark head of the dot ring
    const int r = (dibPixel >> 16) & 0xFF, g = (dibPixel >> 8) & 0xFF, b = dibPixel & 0xFF;
    return b > 150 && b - r > 80 && b - g > 40;
}

class BusyClip : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        WNDCLASSW wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kHostClass;
        RegisterClassW(&wc);  // a second registration in the same process fails harmlessly
        host_ = CreateWindowExW(WS_EX_TOPMOST, kHostClass, L"art", WS_POPUP | WS_VISIBLE, 10, 10, 120, 120, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        // Styles as the repair and cut dialogs use them: centred, transparent, playing at once.
        animation_ =
            CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY,
                            20, 20, 64, 64, host_, reinterpret_cast<HMENU>(1025), GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(animation_, nullptr);
        UpdateWindow(host_);
    }
    void TearDown() override {
        if (animation_) {
            SendMessageW(animation_, ACM_STOP, 0, 0);
            SendMessageW(animation_, ACM_OPENW, 0, 0);
        }
        if (host_) DestroyWindow(host_);
    }
    BOOL OpenClip() {
        return static_cast<BOOL>(
            SendMessageW(animation_, ACM_OPENW, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_BUSY_AVI))));
    }
    HWND host_ = nullptr;
    HWND animation_ = nullptr;
};

TEST_F(BusyClip, OpensFromTheResourceAndPlaysTheDotRingOnTheParentsBackground) {
    ASSERT_TRUE(OpenClip()) << "the animation control refused AVI resource 150";
    PumpFor(3 * kFrameMs);
    std::vector<COLORREF> first = Capture(animation_);
    ASSERT_EQ(first.size(), 64u * 64u);

    // Centred 32 x 32 clip in a 64 x 64 control: the clip occupies (16,16)-(48,48).
    const int origin = (64 - kClipSide) / 2;
    int blue = 0;
    for (int y = origin; y < origin + kClipSide; ++y)
        for (int x = origin; x < origin + kClipSide; ++x)
            if (IsClipBlue(first[y * 64 + x])) ++blue;
    EXPECT_GT(blue, 8) << "no dark dot of the ring is visible";

    // Transparency: the clip's background corner shows the parent's colour, not the clip's grey.
    const COLORREF parent = AsDibPixel(kParentBackground);
    EXPECT_EQ(first[origin * 64 + origin], parent);
    EXPECT_EQ(first[(origin + kClipSide - 1) * 64 + origin + kClipSide - 1], parent);
    EXPECT_EQ(first[(origin + kClipSide / 2) * 64 + origin + kClipSide / 2], parent) << "centre of the ring";

    // It moves: within a few frames the picture changes.
    bool changed = false;
    for (int attempt = 0; attempt < 10 && !changed; ++attempt) {
        PumpFor(kFrameMs + kFrameMs / 2);
        changed = Capture(animation_) != first;
    }
    EXPECT_TRUE(changed) << "the clip shows the same frame after a second";
}

TEST_F(BusyClip, ClosesAndReopens) {
    ASSERT_TRUE(OpenClip());
    EXPECT_TRUE(SendMessageW(animation_, ACM_STOP, 0, 0));
    SendMessageW(animation_, ACM_OPENW, 0, 0);
    EXPECT_TRUE(OpenClip()) << "the clip does not open a second time";
}

TEST(ProgramIcon, GroupHoldsNative16And32And48PixelImages) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(instance, group)));
    ASSERT_NE(directory, nullptr);
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(id, 0);
        HRSRC image = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));  // RT_ICON
        ASSERT_NE(image, nullptr);
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(instance, image)));
        EXPECT_EQ(header->biWidth, size) << "no native image of this size; Windows would scale another";
        EXPECT_EQ(header->biHeight, 2 * size);
        HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr);
        if (icon) DestroyIcon(icon);
    }
}

TEST(ToolbarStrips, AllSixLoadAt450By32WithAWhiteCorner) {
    for (int id : {IDB_STRIP_PAUSE_CANCEL, IDB_STRIP_PAUSE_SET_A, IDB_STRIP_PAUSE_SET_B, IDB_STRIP_PLAY_SET_A,
                   IDB_STRIP_PLAY_SET_B, IDB_STRIP_PLAY_CANCEL}) {
        SCOPED_TRACE(id);
        HBITMAP strip = static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(strip, nullptr);
        BITMAP info = {};
        ASSERT_TRUE(GetObjectW(strip, sizeof(info), &info));
        EXPECT_EQ(info.bmWidth, kStripWidth);
        EXPECT_EQ(info.bmHeight, kStripHeight);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, strip);
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255)) << "white is the transparent colour";
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(strip);
    }
}

TEST(PanelPictures, LoadAtTheirSizesWithStaffsTipAndWhiteWhereTheBackgroundShows) {
    const COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    const COLORREF black = RGB(0, 0, 0), grey = RGB(212, 212, 212), buttonBlue = RGB(0x2a, 0x6f, 0xd6);
    struct Pixel {
        int x, y;
        COLORREF colour;
    };
    struct Picture {
        int id, width, height;
        std::vector<Pixel> pixels;
    };
    const Picture pictures[] = {
        {IDB_FLAG_A, 6, 10, {{5, 0, red}, {5, 9, red}, {4, 9, white}, {0, 5, red}}},     // staff: right column
        {IDB_FLAG_B, 6, 10, {{0, 0, blue}, {0, 9, blue}, {1, 9, white}, {5, 5, blue}}},  // staff: left column
        {IDB_THUMB, 13, 13, {{6, 0, black}, {5, 0, white}, {7, 0, white}, {6, 8, grey}, {0, 12, black}}},
        {IDB_PLAY_BUTTON, 64, 64, {{0, 0, white}, {63, 63, white}, {32, 32, buttonBlue}, {32, 3, buttonBlue}}},
        {IDB_SHORTCUT_TABLE, 114, 69, {{0, 0, buttonBlue}, {112, 8, white}}},
    };
    HDC dc = CreateCompatibleDC(nullptr);
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.id);
        HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(picture.id));
        ASSERT_NE(bitmap, nullptr);
        BITMAP info = {};
        ASSERT_TRUE(GetObjectW(bitmap, sizeof(info), &info));
        EXPECT_EQ(info.bmWidth, picture.width);
        EXPECT_EQ(info.bmHeight, picture.height);
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (const Pixel& p : picture.pixels)
            EXPECT_EQ(GetPixel(dc, p.x, p.y), p.colour) << "at " << p.x << ", " << p.y;
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
}

}  // namespace
