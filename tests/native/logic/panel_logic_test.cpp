// The panels' arithmetic: time texts, the timeline's time<->pixel mappings and hit areas,
// the volume slider's scale, the size dialogs' clamp and the panel stack.
#include "logic/control_values.h"
#include "logic/panel_geometry.h"
#include "logic/time_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Formatted(int ms, bool withMillis) {
    wchar_t buffer[48];
    return FormatTimeMs(ms, withMillis, buffer, 48);
}

TEST(TimeFormat, TruncatesAndNeverWrapsHours) {
    struct Case {
        int ms;
        const wchar_t* plain;
        const wchar_t* millis;
    } cases[] = {
        {0, L"00:00:00", L"00:00:00.000"},
        {3723004, L"01:02:03", L"01:02:03.004"},
        {999, L"00:00:00", L"00:00:00.999"},
        {-1, L"00:00:00", L"00:00:00.000"},
        {-2147483647 - 1, L"00:00:00", L"00:00:00.000"},
        {59999, L"00:00:59", L"00:00:59.999"},
        {360000000, L"100:00:00", L"100:00:00.000"},
        {2147483647, L"596:31:23", L"596:31:23.647"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.plain, Formatted(c.ms, false)) << c.ms;
        EXPECT_EQ(c.millis, Formatted(c.ms, true)) << c.ms;
    }
}

TEST(TimeFormat, CutsShortInASmallBuffer) {
    wchar_t buffer[6];
    EXPECT_EQ(std::wstring(L"01:02"), FormatTimeMs(3723004, true, buffer, 6));
}

TEST(Timeline, PositionsAndPixelsMapBothWays) {
    const int length = TrackLength(720);
    ASSERT_EQ(635, length);
    struct Case {
        int position, stop, pixel;
    } toPixel[] = {
        {0, 60000, 0},       {60000, 60000, 635}, {30000, 60000, 317},  // 317.5 truncated
        {1, 60000, 0},       {59999, 60000, 634}, {5000, 0, 0},         // no length: no division
        {70000, 60000, 635},                                            // never off the track
    };
    for (const Case& c : toPixel) EXPECT_EQ(c.pixel, PositionToPixel(c.position, c.stop, length)) << c.position;

    EXPECT_EQ(0, PixelToPosition(0, 60000, length));
    EXPECT_EQ(60000, PixelToPosition(length, 60000, length));
    EXPECT_EQ(29952, PixelToPosition(317, 60000, length));  // 60000 * 317 / 635 = 29952.7
    EXPECT_EQ(0, PixelToPosition(10, 60000, 0));
}

TEST(Timeline, ClicksAndDragsStayOnTheTrack) {
    const int length = TrackLength(720);
    EXPECT_EQ(0, ClampToTrack(9 - trackOrigin, length));  // 6 pixels left of the track start
    EXPECT_EQ(length, ClampToTrack(length + 6, length));
    EXPECT_EQ(100, ClampToTrack(100, length));

    struct Hit {
        int x, y;
        bool track;
    } trackHits[] = {
        {9, 16, true},   {8, 16, false},   {length + 21, 16, true}, {length + 22, 16, false},
        {100, 12, true}, {100, 11, false}, {100, 20, true},         {100, 21, false},
    };
    for (const Hit& h : trackHits) EXPECT_EQ(h.track, InTrackHitArea(h.x, h.y, length)) << h.x << "," << h.y;

    struct ThumbHit {
        int x, y, thumb;
        bool hit;
    } thumbHits[] = {
        {7, 20, 0, true},     {6, 20, 0, false},     {23, 33, 0, true},     {24, 33, 0, false},
        {107, 25, 100, true}, {107, 19, 100, false}, {107, 34, 100, false},
    };
    for (const ThumbHit& h : thumbHits) EXPECT_EQ(h.hit, InThumbHitArea(h.x, h.y, h.thumb)) << h.x << "," << h.y;

    EXPECT_EQ(0, MouseXFromWord(0));
    EXPECT_EQ(32762, MouseXFromWord(32762));
    EXPECT_EQ(32763 - 65536, MouseXFromWord(32763));
    EXPECT_EQ(-1, MouseXFromWord(0xFFFF));
}

TEST(ControlValues, VolumeSliderIsLogarithmic) {
    struct Case {
        int position, volume;
    } toVolume[] = {
        {1, -10000}, {2, -8494}, {10, -5000}, {50, -1505},
        {79, -511},  {100, 0},   {0, -10000}, {101, 0},  // outside the slider's range
    };
    for (const Case& c : toVolume) EXPECT_EQ(c.volume, SliderToVolume(c.position)) << c.position;

    struct Back {
        int volume, position;
    } toSlider[] = {
        {0, 100}, {-500, 79}, {-1505, 50}, {-10000, 1}, {-20000, 1}, {500, 100},
    };
    for (const Back& c : toSlider) EXPECT_EQ(c.position, VolumeToSlider(c.volume)) << c.volume;
}

TEST(ControlValues, SizeDialogsTakeTheDefaultForZeroAndClampTheRest) {
    struct Case {
        unsigned entered;
        int jump;
        int fineTuning;
    } cases[] = {
        {0, 3, 200}, {1, 1, 30},    {5, 5, 30},    {9, 9, 30},     {10, 9, 30},
        {12, 9, 30}, {450, 9, 450}, {900, 9, 900}, {1000, 9, 900}, {4294967295u, 9, 900},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.jump, ClampStep(c.entered, jumpSecondsRange)) << c.entered;
        EXPECT_EQ(c.fineTuning, ClampStep(c.entered, fineTuningMsRange)) << c.entered;
    }
}

TEST(PanelStack, FillsTheContainerAboveTheToolbar) {
    struct Case {
        int height, toolbar;
    } cases[] = {{348, 38}, {500, 38}, {348, 0}, {150, 38}};
    for (const Case& c : cases) {
        PanelStack stack = LayoutPanelStack(c.height, c.toolbar);
        EXPECT_EQ(0, stack.controlPanel.top);
        EXPECT_EQ(98, stack.controlPanel.height);
        EXPECT_EQ(98, stack.infoStrip.top);
        EXPECT_EQ(26, stack.infoStrip.height);
        EXPECT_EQ(124, stack.abPanel.top);
        EXPECT_EQ(c.height - c.toolbar - 164, stack.abPanel.height);  // may be negative when short
        EXPECT_EQ(stack.abPanel.top + stack.abPanel.height, stack.timelineBar.top);
        EXPECT_EQ(40, stack.timelineBar.height);
        EXPECT_EQ(c.height - c.toolbar, stack.timelineBar.top + stack.timelineBar.height);
    }
}

}  // namespace
