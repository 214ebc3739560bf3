#include "logic/panel_geometry.h"

namespace {

constexpr int trackTop = 14;
constexpr int trackBottom = 18;
constexpr int trackHitMargin = 6;
constexpr int trackHitRise = 2;
constexpr int thumbHitLeft = 7;
constexpr int thumbHitRight = 23;
constexpr int thumbHitTop = 20;
constexpr int thumbHitBottom = 33;
constexpr unsigned leftOfWindowWord = 32763;
constexpr int wordRange = 65536;

}  // namespace

int TrackLength(int clientWidth) { return clientWidth - trackOrigin - trackRightMargin; }

int ClampToTrack(int offset, int trackLength) {
    if (offset > trackLength) offset = trackLength;
    return offset < 0 ? 0 : offset;
}

int PositionToPixel(int positionMs, int stopMs, int trackLength) {
    if (stopMs <= 0 || trackLength <= 0) return 0;
    double pixel = static_cast<double>(positionMs) / stopMs * trackLength;
    if (pixel <= 0) return 0;
    if (pixel >= trackLength) return trackLength;
    return static_cast<int>(pixel);
}

int PixelToPosition(int offset, int stopMs, int trackLength) {
    if (trackLength <= 0) return 0;
    return static_cast<int>(static_cast<double>(stopMs) * (static_cast<double>(offset) / trackLength));
}

bool InThumbHitArea(int x, int y, int thumbOffset) {
    return x >= thumbOffset + thumbHitLeft && x <= thumbOffset + thumbHitRight && y >= thumbHitTop &&
           y <= thumbHitBottom;
}

bool InTrackHitArea(int x, int y, int trackLength) {
    return x >= trackOrigin - trackHitMargin && x <= trackOrigin + trackLength + trackHitMargin &&
           y >= trackTop - trackHitRise && y <= trackBottom + trackHitRise;
}

int MouseXFromWord(unsigned word) {
    word &= 0xFFFF;
    return word >= leftOfWindowWord ? static_cast<int>(word) - wordRange : static_cast<int>(word);
}

PanelStack LayoutPanelStack(int height, int toolbarHeight) {
    PanelStack stack = {};
    stack.controlPanel = {0, controlPanelHeight};
    stack.infoStrip = {controlPanelHeight, infoStripHeight};
    int timelineTop = height - toolbarHeight - timelineBarHeight;
    int abTop = controlPanelHeight + infoStripHeight;
    stack.abPanel = {abTop, timelineTop - abTop};
    stack.timelineBar = {timelineTop, timelineBarHeight};
    return stack;
}
