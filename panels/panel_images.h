// A bitmap of the program's resources in a memory DC of its own, loaded once and combined into
// a panel's back buffer with SRCAND, so that its white pixels leave the background showing.
#pragma once
#include <windows.h>

class PanelImage {
public:
    PanelImage() = default;
    PanelImage(const PanelImage&) = delete;
    PanelImage& operator=(const PanelImage&) = delete;
    ~PanelImage();

    // Loads resource `id` the first time; false when it cannot be loaded.
    bool Load(HWND window, UINT id);
    void DrawAt(HDC target, int x, int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};
