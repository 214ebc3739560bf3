// Where the audio stands, for a filter that knows the segment it hands downstream: the parser's
// output pin and the playback graph's lead trimmer. Depends on nothing but Windows and DirectShow.
#pragma once
#include <windows.h>
#include <dshow.h>

#include "win32/scoped.h"

namespace clipvane_parser {

// Where the audio stands: the media time the renderer presents now (presentation_clock.cpp).
// Samples are stamped from the segment's start, and a renderer presents a sample when the
// stream time (the clock's time less the start time the graph hands the filters with Run)
// reaches its time stamp; so it presents media time segment start + stream time.
class PresentationClock {
 public:
  PresentationClock() { InitializeCriticalSection(&lock_); }
  ~PresentationClock() { DeleteCriticalSection(&lock_); }
  PresentationClock(const PresentationClock &) = delete;
  PresentationClock &operator=(const PresentationClock &) = delete;

  // A new segment, not yet running: the position rests at `floor` until the stream time
  // passes it.
  void Restart(REFERENCE_TIME segmentStart, REFERENCE_TIME floor);
  void Run(IReferenceClock *clock, REFERENCE_TIME start);
  // Stream time stands still; the position keeps what it has reached.
  void Pause();
  // The presented media time, never past `limit`.
  REFERENCE_TIME Now(REFERENCE_TIME limit);

 private:
  REFERENCE_TIME RunningPosition();
  CRITICAL_SECTION lock_;
  ComPtr<IReferenceClock> clock_;
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME floor_ = 0;
  REFERENCE_TIME runStart_ = 0;
  bool running_ = false;
};

}  // namespace clipvane_parser
