#include "panels/panel_images.h"

#include "app/app_state.h"

PanelImage::~PanelImage() {
    if (!dc_) return;
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

bool PanelImage::Load(HWND window, UINT id) {
    if (dc_) return true;
    bitmap_ = LoadBitmapW(theApp.hInstance, MAKEINTRESOURCEW(id));
    if (!bitmap_) return false;
    BITMAP info = {};
    GetObjectW(bitmap_, sizeof info, &info);
    width_ = info.bmWidth;
    height_ = info.bmHeight;
    HDC windowDc = GetDC(window);
    dc_ = CreateCompatibleDC(windowDc);
    ReleaseDC(window, windowDc);
    previous_ = SelectObject(dc_, bitmap_);
    return true;
}

void PanelImage::DrawAt(HDC target, int x, int y) const {
    if (dc_) BitBlt(target, x, y, width_, height_, dc_, 0, 0, SRCAND);
}
