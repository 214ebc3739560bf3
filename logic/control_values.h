// The control panel's values: the volume slider's logarithmic scale and the clamp of the two
// size dialogs.
#pragma once

constexpr int sliderMinimum = 1;
constexpr int sliderMaximum = 100;
constexpr int silentVolume = -10000;
constexpr int fullVolume = 0;

// trunc((log10(position) - 2) * 5000): 1 -> -10000, 50 -> -1505, 100 -> 0.
int SliderToVolume(int position);
// trunc(10 ^ (volume / 5000 + 2)): -10000 -> 1, -500 -> 79, 0 -> 100.
int VolumeToSlider(int volume);

// What a size dialog accepts: 0 (also what unreadable text reads as) means the default,
// anything else is clamped to [lower, upper].
struct StepRange {
    unsigned lower;
    unsigned upper;
    unsigned fallback;
};
constexpr StepRange jumpSecondsRange = {1, 9, 3};
constexpr StepRange fineTuningMsRange = {30, 900, 200};

int ClampStep(unsigned entered, StepRange range);
