#include "logic/transport_logic.h"

bool ShouldReturnToA(int positionMs, AbPoints points) {
    return points.b != unsetPoint && (positionMs >= points.b || positionMs < points.a);
}

AbPoints MarkNextPoint(AbPoints points, int positionMs) {
    if (points.a == unsetPoint) return {positionMs, unsetPoint};
    if (points.b == unsetPoint) {
        if (positionMs >= points.a) return {points.a, positionMs};
        return {positionMs, points.a};
    }
    return {};
}

int ClampToFile(long long ms, int stopMs) {
    if (ms < 0) return 0;
    if (ms > stopMs) return stopMs;
    return static_cast<int>(ms);
}

// The settings and the size dialogs keep the step within 30..900 ms, so the sums cannot overflow.
int NudgeAMinus(int a, int stepMs) { return a - stepMs < 0 ? 0 : a - stepMs; }

int NudgeAPlus(AbPoints points, int stepMs, int stopMs) {
    int a = points.a + stepMs > stopMs ? stopMs : points.a + stepMs;
    return points.b != unsetPoint && points.b < a ? points.b : a;
}

int NudgeBMinus(AbPoints points, int stepMs) { return points.b - stepMs < points.a ? points.a : points.b - stepMs; }

int NudgeBPlus(int b, int stepMs, int stopMs) { return b + stepMs > stopMs ? stopMs : b + stepMs; }

int JumpForwardTarget(int positionMs, int jumpSeconds, int stopMs) {
    return ClampToFile(positionMs + jumpSeconds * 1000LL, stopMs);
}

int JumpBackwardTarget(int positionMs, int jumpSeconds, int stopMs) {
    return ClampToFile(positionMs - jumpSeconds * 1000LL, stopMs);
}
