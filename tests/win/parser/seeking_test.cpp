// Playing and seeking through the whole graph: the renderer's clock against the timeline the
// parser stamps on its samples, seeks that report exactly the target, and the
// end of the stream (or the stop position) ending playback with EC_COMPLETE.
#include <gtest/gtest.h>

#include "graph_helpers.h"

namespace parser_test {
namespace {

constexpr LONGLONG kUnitsPerMs = 10000;
// Under Wine on a loaded machine a graph takes a moment to start; bounds are loose on purpose.
constexpr DWORD kPauseSettleMs = 5000;
constexpr DWORD kCompleteTimeoutMs = 20000;

class SeekingTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(IndexFixture("cbr128.mp3", index_));
        ASSERT_EQ(S_OK, graph_.Build(WinePath(FixturePath("cbr128.mp3"))));
    }
    void PauseAndSettle() {
        ASSERT_TRUE(SUCCEEDED(graph_.control->Pause()));
        OAFilterState state;
        EXPECT_EQ(S_OK, graph_.control->GetState(kPauseSettleMs, &state));
        EXPECT_EQ(State_Paused, state);
    }
    mp3::FrameIndex index_;
    TestGraph graph_;
};

TEST_F(SeekingTest, PositionAdvancesWithTheClockWhilePlaying) {
    ASSERT_TRUE(SUCCEEDED(graph_.control->Run()));
    OAFilterState state;
    graph_.control->GetState(kPauseSettleMs, &state);
    const LONGLONG before = graph_.PositionMs();
    const DWORD began = GetTickCount();
    Sleep(1000);
    const LONGLONG advanced = graph_.PositionMs() - before;
    const DWORD elapsed = GetTickCount() - began;
    EXPECT_GE(advanced, 700) << "elapsed " << elapsed;
    EXPECT_LE(advanced, static_cast<LONGLONG>(elapsed) + 300);
}

// The position after a seek is exactly the target (delivery itself starts with the frame that
// holds it), so a caller that seeks back to a point never reads an earlier time.
TEST_F(SeekingTest, SeekWhilePausedReportsExactlyTheTarget) {
    PauseAndSettle();
    IMediaSeeking* parserSeeking = graph_.ParserSeeking();
    ASSERT_NE(nullptr, parserSeeking);
    const LONGLONG frame = FrameUnits(index_);
    for (LONGLONG targetMs : {7000LL, 1234LL, 0LL, 11000LL, 3333LL}) {
        const LONGLONG targetUnits = targetMs * kUnitsPerMs;
        LONGLONG target = targetUnits;
        ASSERT_EQ(S_OK, graph_.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                                     AM_SEEKING_NoPositioning));
        LONGLONG landed = -1, stop = -1;
        ASSERT_EQ(S_OK, parserSeeking->GetPositions(&landed, &stop));
        // Paused, the parser has handed the renderer at most a few samples since the seek.
        EXPECT_GE(landed, targetUnits) << targetMs;
        EXPECT_LE(landed, targetUnits + 40 * frame) << targetMs;
        EXPECT_EQ(index_.DurationUnits(), stop);

        LONGLONG returned = targetUnits;
        ASSERT_EQ(S_OK, parserSeeking->SetPositions(&returned, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime,
                                                    nullptr, AM_SEEKING_NoPositioning));
        EXPECT_EQ(targetUnits, returned) << targetMs;
        EXPECT_EQ(targetMs, graph_.PositionMs()) << targetMs;
    }
    // Beyond the end the segment starts at the end.
    LONGLONG beyond = index_.DurationUnits() + 5000 * kUnitsPerMs;
    ASSERT_EQ(S_OK, parserSeeking->SetPositions(&beyond, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime,
                                                nullptr, AM_SEEKING_NoPositioning));
    EXPECT_EQ(index_.DurationUnits(), beyond);
    parserSeeking->Release();
}

// A seek close to the end plays only the rest: EC_COMPLETE arrives after about that long,
// not after the whole file.
TEST_F(SeekingTest, PlayingFromNearTheEndCompletesAfterTheRest) {
    const LONGLONG duration = index_.DurationUnits();
    LONGLONG target = duration - 1500 * kUnitsPerMs;
    ASSERT_EQ(S_OK,
              graph_.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    const DWORD began = GetTickCount();
    ASSERT_TRUE(SUCCEEDED(graph_.control->Run()));
    ASSERT_TRUE(graph_.WaitForEvent(EC_COMPLETE, kCompleteTimeoutMs));
    const DWORD elapsed = GetTickCount() - began;
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LE(elapsed, 8000u);
}

// The stop position ends delivery early, and a seek while running restarts from the target.
TEST_F(SeekingTest, StopPositionEndsPlaybackEarly) {
    LONGLONG start = 2000 * kUnitsPerMs;
    LONGLONG stop = 3500 * kUnitsPerMs;
    ASSERT_EQ(S_OK, graph_.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                                 AM_SEEKING_AbsolutePositioning));
    LONGLONG reportedStop = 0;
    EXPECT_EQ(S_OK, graph_.seeking->GetStopPosition(&reportedStop));
    EXPECT_EQ(stop, reportedStop);
    const DWORD began = GetTickCount();
    ASSERT_TRUE(SUCCEEDED(graph_.control->Run()));
    ASSERT_TRUE(graph_.WaitForEvent(EC_COMPLETE, kCompleteTimeoutMs));
    const DWORD elapsed = GetTickCount() - began;
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LE(elapsed, 8000u);
}

TEST_F(SeekingTest, SeekWhileRunningContinuesFromTheTarget) {
    ASSERT_TRUE(SUCCEEDED(graph_.control->Run()));
    Sleep(500);
    LONGLONG target = 9000 * kUnitsPerMs;
    ASSERT_EQ(S_OK,
              graph_.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    Sleep(500);
    const LONGLONG position = graph_.PositionMs();
    EXPECT_GE(position, 9000);
    EXPECT_LE(position, 10500);
    // Three seconds of file remained from 9 s: the end comes well before the whole file's 12 s.
    const DWORD began = GetTickCount();
    ASSERT_TRUE(graph_.WaitForEvent(EC_COMPLETE, kCompleteTimeoutMs));
    EXPECT_LE(GetTickCount() - began, 8000u);
}

TEST_F(SeekingTest, SeekingInterfaceReportsMediaTimeAndFullCapabilities) {
    IMediaSeeking* seeking = graph_.ParserSeeking();
    ASSERT_NE(nullptr, seeking);
    DWORD capabilities = 0;
    EXPECT_EQ(S_OK, seeking->GetCapabilities(&capabilities));
    const DWORD needed = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                         AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
    EXPECT_EQ(needed, capabilities & needed);
    EXPECT_EQ(S_OK, seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, seeking->IsFormatSupported(&TIME_FORMAT_FRAME));
    EXPECT_EQ(S_OK, seeking->SetRate(1.0));
    EXPECT_TRUE(FAILED(seeking->SetRate(2.0)));
    LONGLONG earliest = -1, latest = -1;
    EXPECT_EQ(S_OK, seeking->GetAvailable(&earliest, &latest));
    EXPECT_EQ(0, earliest);
    EXPECT_EQ(index_.DurationUnits(), latest);
    // Relative seeking counts from the current position; the stop may be set on its own.
    LONGLONG start = 4000 * kUnitsPerMs;
    ASSERT_EQ(S_OK, seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    LONGLONG step = 2000 * kUnitsPerMs;
    ASSERT_EQ(S_OK, seeking->SetPositions(&step, AM_SEEKING_RelativePositioning | AM_SEEKING_ReturnTime, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_LE(std::llabs(step - 6000 * kUnitsPerMs), FrameUnits(index_));
    LONGLONG stop = 8000 * kUnitsPerMs;
    ASSERT_EQ(S_OK, seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning));
    LONGLONG current = 0, reportedStop = 0;
    EXPECT_EQ(S_OK, seeking->GetPositions(&current, &reportedStop));
    EXPECT_EQ(step, current);
    EXPECT_EQ(stop, reportedStop);
    seeking->Release();
}

}  // namespace
}  // namespace parser_test
