// Where things go on the panels, in client pixels: the timeline bar's track and its
// time<->pixel mappings and hit areas, and the panel container's stack.
#pragma once

// Timeline bar: the track runs from x = trackOrigin to x = trackOrigin + L, rows 14..18.
constexpr int trackOrigin = 15;
constexpr int trackRightMargin = 70;

// L = W - 85 for a bar of client width W.
int TrackLength(int clientWidth);
// trunc(position / stop * L); 0 when there is no length to divide by, and never off the track.
int PositionToPixel(int positionMs, int stopMs, int trackLength);
// trunc(stop * (offset / L)); 0 when the track has no length.
int PixelToPosition(int offset, int stopMs, int trackLength);
// An offset from the track origin kept within 0..L.
int ClampToTrack(int offset, int trackLength);
// The thumb can be grabbed at columns X+7..X+23, rows 20..33, for a thumb at offset X.
bool InThumbHitArea(int x, int y, int thumbOffset);
// A click seeks at columns 9..L+21, rows 12..20.
bool InTrackHitArea(int x, int y, int trackLength);
// The client x carried in a mouse message's low word; 32763 and above lie left of the window.
int MouseXFromWord(unsigned word);

// The panel container's stack, top to bottom, every panel as wide as the container.
struct PanelPlace {
    int top;
    int height;
};
struct PanelStack {
    PanelPlace controlPanel;
    PanelPlace infoStrip;
    PanelPlace abPanel;
    PanelPlace timelineBar;
};
constexpr int controlPanelHeight = 98;
constexpr int infoStripHeight = 26;
constexpr int timelineBarHeight = 40;

// For a container of client height `height` above a toolbar `toolbarHeight` high; only the
// A-B display takes up the change (its height may come out zero or negative, passed on as is).
PanelStack LayoutPanelStack(int height, int toolbarHeight);
