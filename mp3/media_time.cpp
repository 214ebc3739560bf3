#include "mp3/media_time.h"

#include <limits>

namespace mp3 {
namespace {

// value * mul / div without overflowing the intermediate product: split value into whole
// multiples of div and a remainder. Rounds toward zero and saturates; mul and div positive
// and small enough that (div - 1) * mul fits.
int64_t MulDiv(int64_t value, int64_t mul, int64_t div) {
  if (div <= 0 || mul <= 0) return 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t whole = value / div;
  int64_t rest = value % div;
  if (whole > kMax / mul - 1) return kMax;
  if (whole < -(kMax / mul - 1)) return -kMax;
  return whole * mul + rest * mul / div;
}

}  // namespace

int64_t SamplesToUnits(int64_t samples, int sampleRate) { return MulDiv(samples, kUnitsPerSecond, sampleRate); }
int64_t SamplesToMs(int64_t samples, int sampleRate) { return MulDiv(samples, kMsPerSecond, sampleRate); }
int64_t UnitsToSamples(int64_t units, int sampleRate) { return MulDiv(units, sampleRate, kUnitsPerSecond); }
int64_t MsToSamples(int64_t ms, int sampleRate) { return MulDiv(ms, sampleRate, kMsPerSecond); }

}  // namespace mp3
