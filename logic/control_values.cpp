#include "logic/control_values.h"

#include <cmath>

namespace {

constexpr double decibelScale = 5000.0;

int Clamp(int value, int lowest, int highest) { return value < lowest ? lowest : value > highest ? highest : value; }

}  // namespace

// Positions and volumes outside their ranges are brought in first: log10 of 0 has no value.
int SliderToVolume(int position) {
    position = Clamp(position, sliderMinimum, sliderMaximum);
    return static_cast<int>((std::log10(static_cast<double>(position)) - 2) * decibelScale);
}

int VolumeToSlider(int volume) {
    volume = Clamp(volume, silentVolume, fullVolume);
    return static_cast<int>(std::pow(10.0, volume / decibelScale + 2));
}

int ClampStep(unsigned entered, StepRange range) {
    if (entered == 0) return static_cast<int>(range.fallback);
    if (entered > range.upper) return static_cast<int>(range.upper);
    if (entered < range.lower) return static_cast<int>(range.lower);
    return static_cast<int>(entered);
}
