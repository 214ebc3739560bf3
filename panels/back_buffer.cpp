#include "panels/back_buffer.h"

HFONT CreateTahoma(int height, int weight) {
    LOGFONTW font = {};
    font.lfHeight = -height;
    font.lfWeight = weight;
    lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

void BackBuffer::Rebuild(HWND window, HFONT font) {
    Free();
    RECT client = {};
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    HDC windowDc = GetDC(window);
    dc_ = CreateCompatibleDC(windowDc);
    bitmap_ = CreateCompatibleBitmap(windowDc, width_ > 0 ? width_ : 1, height_ > 0 ? height_ : 1);
    ReleaseDC(window, windowDc);
    previousBitmap_ = SelectObject(dc_, bitmap_);
    previousFont_ = SelectObject(dc_, font);
}

void BackBuffer::CopyRows(HWND window, int top, int height) const {
    if (!dc_) return;
    HDC windowDc = GetDC(window);
    BitBlt(windowDc, 0, top, width_, height, dc_, 0, top, SRCCOPY);
    ReleaseDC(window, windowDc);
}

void BackBuffer::Free() {
    if (!dc_) return;
    SelectObject(dc_, previousBitmap_);
    SelectObject(dc_, previousFont_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
    dc_ = nullptr;
}
