#include <algorithm>

#include "presentation_clock.h"

namespace clipvane_parser {

void PresentationClock::Restart(REFERENCE_TIME segmentStart, REFERENCE_TIME floor) {
  CriticalSectionLock hold(lock_);
  segmentStart_ = segmentStart;
  floor_ = floor;
  running_ = false;
}

void PresentationClock::Run(IReferenceClock *clock, REFERENCE_TIME start) {
  CriticalSectionLock hold(lock_);
  if (clock) clock->AddRef();
  clock_.Reset(clock);
  runStart_ = start;
  running_ = clock != nullptr;
}

void PresentationClock::Pause() {
  CriticalSectionLock hold(lock_);
  if (running_) floor_ = std::max(floor_, RunningPosition());
  running_ = false;
}

REFERENCE_TIME PresentationClock::RunningPosition() {
  REFERENCE_TIME now = 0;
  if (FAILED(clock_->GetTime(&now))) return floor_;
  return segmentStart_ + now - runStart_;
}

// While a run starts (Wine's graph hands the filters a start time 200 ms after it asks them to
// run) and while the part of the target's frame before the target plays, the stream time lies
// before the floor: the position rests there rather than going back.
REFERENCE_TIME PresentationClock::Now(REFERENCE_TIME limit) {
  CriticalSectionLock hold(lock_);
  const REFERENCE_TIME position = running_ ? std::max(floor_, RunningPosition()) : floor_;
  return std::min(position, limit);
}

}  // namespace clipvane_parser
