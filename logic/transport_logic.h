// The player's arithmetic: the loop decision of the tick, the one-key A-B cycle, the four
// nudges and the jump targets. Times are milliseconds from the start of the file; -1 is an
// unset point. No window and no graph: the application object reads the graph, asks here
// what to do, and does it.
#pragma once

constexpr int unsetPoint = -1;

struct AbPoints {
    int a = unsetPoint;
    int b = unsetPoint;
};

// While B is set, playback stays between A and B: at or past B, or before A, it goes back to
// A. The position is the one being heard, which rests on A itself while a jump to A starts to
// sound (the graph's start delay and the part of A's frame before A), so A is not "before A":
// otherwise every tick of that rest would jump again and nothing would ever be heard.
bool ShouldReturnToA(int positionMs, AbPoints points);

// One press of the A-B key: A unset -> A at the position; B unset -> B at the position
// (the two swap when the position lies before A); both set -> both unset.
AbPoints MarkNextPoint(AbPoints points, int positionMs);

// The nudges move one point by `stepMs` and clamp it: A stays within [0, stop] and not after
// a set B; B stays within [A, stop].
int NudgeAMinus(int a, int stepMs);
int NudgeAPlus(AbPoints points, int stepMs, int stopMs);
int NudgeBMinus(AbPoints points, int stepMs);
int NudgeBPlus(int b, int stepMs, int stopMs);

// Where a seek lands: within [0, stop].
int ClampToFile(long long ms, int stopMs);
// The target of a jump by `jumpSeconds` forward or backward, within [0, stop].
int JumpForwardTarget(int positionMs, int jumpSeconds, int stopMs);
int JumpBackwardTarget(int positionMs, int jumpSeconds, int stopMs);
