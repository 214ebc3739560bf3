// Conversions between sample counts and the time units the program uses: 100-ns units
// (DirectShow reference time) and milliseconds. All truncate toward zero for
// non-negative values and never overflow for any int64 sample count and rate.
#pragma once

#include <cstdint>

namespace mp3 {

constexpr int64_t kUnitsPerSecond = 10000000;  // 100-ns units
constexpr int64_t kMsPerSecond = 1000;

int64_t SamplesToUnits(int64_t samples, int sampleRate);  // 100-ns units
int64_t SamplesToMs(int64_t samples, int sampleRate);
int64_t UnitsToSamples(int64_t units, int sampleRate);
int64_t MsToSamples(int64_t ms, int sampleRate);

}  // namespace mp3
