// An off-screen picture of a window's client area, rebuilt at every size change; a panel
// composes its picture here and reaches the screen with one BitBlt.
#pragma once
#include <windows.h>

// A font, pen or brush that is deleted with its owner.
template <typename Handle>
class GdiObject {
public:
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() {
        if (handle_) DeleteObject(handle_);
    }
    operator Handle() const { return handle_; }

private:
    Handle handle_;
};

// "Tahoma" of the given character height in pixels, normal weight unless told.
HFONT CreateTahoma(int height, int weight = FW_NORMAL);

class BackBuffer {
public:
    BackBuffer() = default;
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;
    ~BackBuffer() { Free(); }

    // A new picture of the window's client size, with `font` selected into it.
    void Rebuild(HWND window, HFONT font);
    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Copies rows `top` to `top + height - 1` to the same place on the window.
    void CopyRows(HWND window, int top, int height) const;

private:
    void Free();
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};
