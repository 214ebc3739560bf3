// The player's arithmetic, edge values first: the loop decision, the A-B cycle with its swap,
// the nudges and the jump targets with their clamps.
#include "logic/transport_logic.h"

#include <gtest/gtest.h>

namespace {

constexpr int stop = 30000;

TEST(TransportLogic, LoopReturnsToAOutsideTheStretchOnly) {
    struct Case {
        int position, a, b;
        bool back;
    } cases[] = {
        {5000, 4000, 10000, false},  // inside
        {10000, 4000, 10000, true},  // exactly at B
        {12000, 4000, 10000, true},  // jumped past B
        {4000, 4000, 10000, false},  // at A: where the heard position rests while a jump to A starts
        {3999, 4000, 10000, true},
        {4001, 4000, 10000, false},
        {2000, 4000, 10000, true},  // sought before A
        {9999, 4000, 10000, false},
        {stop, 4000, stop, true},         // B clamped to the end: loops instead of stopping
        {5000, 4000, unsetPoint, false},  // no B: the end-of-file test decides
        {5000, unsetPoint, unsetPoint, false},
        {5000, 5000, 5000, true},  // empty stretch
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.back, ShouldReturnToA(c.position, {c.a, c.b})) << c.position << " " << c.a << " " << c.b;
}

TEST(TransportLogic, MarkingCyclesThroughAThenBThenNone) {
    struct Case {
        AbPoints before;
        int position;
        AbPoints after;
    } cases[] = {
        {{unsetPoint, unsetPoint}, 3000, {3000, unsetPoint}},
        {{unsetPoint, unsetPoint}, 0, {0, unsetPoint}},
        {{3000, unsetPoint}, 9000, {3000, 9000}},
        {{10000, unsetPoint}, 4000, {4000, 10000}},  // B before A: the two swap
        {{5000, unsetPoint}, 5000, {5000, 5000}},    // same position: an empty stretch
        {{4000, 10000}, 7000, {unsetPoint, unsetPoint}},
    };
    for (const Case& c : cases) {
        AbPoints after = MarkNextPoint(c.before, c.position);
        EXPECT_EQ(c.after.a, after.a) << c.before.a << " " << c.before.b << " at " << c.position;
        EXPECT_EQ(c.after.b, after.b) << c.before.a << " " << c.before.b << " at " << c.position;
    }
}

TEST(TransportLogic, NudgesClampAtTheirLimits) {
    EXPECT_EQ(0, NudgeAMinus(100, 200));
    EXPECT_EQ(0, NudgeAMinus(200, 200));
    EXPECT_EQ(4800, NudgeAMinus(5000, 200));

    EXPECT_EQ(10000, NudgeAPlus({9900, 10000}, 200, stop));  // held at B
    EXPECT_EQ(5200, NudgeAPlus({5000, 10000}, 200, stop));
    EXPECT_EQ(stop, NudgeAPlus({stop - 100, unsetPoint}, 200, stop));  // held at the end
    EXPECT_EQ(5200, NudgeAPlus({5000, unsetPoint}, 200, stop));

    EXPECT_EQ(4000, NudgeBMinus({4000, 4100}, 200));  // held at A
    EXPECT_EQ(4000, NudgeBMinus({4000, 4000}, 200));
    EXPECT_EQ(9800, NudgeBMinus({4000, 10000}, 200));

    EXPECT_EQ(stop, NudgeBPlus(stop - 50, 200, stop));
    EXPECT_EQ(stop, NudgeBPlus(stop, 900, stop));
    EXPECT_EQ(10200, NudgeBPlus(10000, 200, stop));
}

TEST(TransportLogic, JumpsStayWithinTheFile) {
    EXPECT_EQ(0, JumpBackwardTarget(2000, 3, stop));
    EXPECT_EQ(0, JumpBackwardTarget(3000, 3, stop));
    EXPECT_EQ(7000, JumpBackwardTarget(10000, 3, stop));
    EXPECT_EQ(stop, JumpForwardTarget(stop - 1000, 3, stop));
    EXPECT_EQ(stop, JumpForwardTarget(stop, 9, stop));
    EXPECT_EQ(13000, JumpForwardTarget(10000, 3, stop));
    EXPECT_EQ(0, JumpForwardTarget(0, 1, 0));                             // a file of no length
    EXPECT_EQ(2147483000, JumpForwardTarget(2147483000, 9, 2147483000));  // no overflow near the top
}

}  // namespace
