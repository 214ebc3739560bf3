// IMediaSeeking of the output pin. Seeking requests come from the renderer through the
// decoder (and from the graph through the filter); times are media times in 100-ns units,
// exact from the frame index.

#include <algorithm>

#include "parser_filter.h"

namespace clipvane_parser {
namespace {

constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                                AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;

bool IsMediaTime(const GUID *format) { return !format || IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME); }

}  // namespace

STDMETHODIMP OutputPin::GetCapabilities(DWORD *capabilities) { return Answer(capabilities, kCapabilities); }

STDMETHODIMP OutputPin::CheckCapabilities(DWORD *capabilities) {
  if (!capabilities) return E_POINTER;
  const DWORD asked = *capabilities;
  *capabilities &= kCapabilities;
  if (*capabilities == asked) return S_OK;
  return *capabilities ? S_FALSE : E_FAIL;
}

STDMETHODIMP OutputPin::IsFormatSupported(const GUID *format) {
  if (!format) return E_POINTER;
  return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
}

STDMETHODIMP OutputPin::QueryPreferredFormat(GUID *format) { return Answer(format, TIME_FORMAT_MEDIA_TIME); }

STDMETHODIMP OutputPin::GetTimeFormat(GUID *format) { return QueryPreferredFormat(format); }

STDMETHODIMP OutputPin::IsUsingTimeFormat(const GUID *format) { return IsFormatSupported(format); }

STDMETHODIMP OutputPin::SetTimeFormat(const GUID *format) {
  if (!format) return E_POINTER;
  return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP OutputPin::GetDuration(LONGLONG *duration) {
  if (!duration) return E_POINTER;
  CriticalSectionLock hold(filter_.lock);
  *duration = Duration();
  return filter_.stream ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP OutputPin::GetStopPosition(LONGLONG *stop) { return Answer(stop, segmentStop_.load()); }

// What is being heard, not what has been delivered: the renderer holds up to a second of
// samples ahead of the sound, and Wine's graph manager reports a position that runs 200 ms
// ahead of it after every run and seek.
STDMETHODIMP OutputPin::GetCurrentPosition(LONGLONG *current) {
  return Answer(current, presented.Now(segmentStop_.load()));
}

STDMETHODIMP OutputPin::ConvertTimeFormat(LONGLONG *target, const GUID *targetFormat, LONGLONG source,
                                          const GUID *sourceFormat) {
  if (!target) return E_POINTER;
  if (!IsMediaTime(targetFormat) || !IsMediaTime(sourceFormat)) return E_INVALIDARG;
  *target = source;
  return S_OK;
}

STDMETHODIMP OutputPin::SetPositions(LONGLONG *current, DWORD currentFlags, LONGLONG *stop, DWORD stopFlags) {
  const DWORD currentMode = currentFlags & AM_SEEKING_PositioningBitsMask;
  const DWORD stopMode = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((currentMode != AM_SEEKING_NoPositioning && !current) || (stopMode != AM_SEEKING_NoPositioning && !stop))
    return E_POINTER;
  if (currentMode == AM_SEEKING_IncrementalPositioning) return E_INVALIDARG;

  CriticalSectionLock hold(filter_.lock);
  if (!filter_.stream) return VFW_E_NOT_CONNECTED;
  const REFERENCE_TIME duration = Duration();
  REFERENCE_TIME newStart = seekTarget_;
  if (currentMode == AM_SEEKING_AbsolutePositioning) newStart = *current;
  if (currentMode == AM_SEEKING_RelativePositioning) newStart = currentPosition_ + *current;
  newStart = std::clamp<REFERENCE_TIME>(newStart, 0, duration);

  REFERENCE_TIME newStop = segmentStop_;
  if (stopMode == AM_SEEKING_AbsolutePositioning) newStop = *stop;
  if (stopMode == AM_SEEKING_RelativePositioning) newStop += *stop;
  if (stopMode == AM_SEEKING_IncrementalPositioning) newStop = newStart + *stop;
  newStop = std::clamp<REFERENCE_TIME>(newStop, 0, duration);

  HRESULT hr = S_OK;
  if (currentMode != AM_SEEKING_NoPositioning) {
    hr = Reposition(newStart, newStop);
  } else if (stopMode != AM_SEEKING_NoPositioning) {
    segmentStop_ = newStop;
  }
  if (SUCCEEDED(hr)) {
    if (currentMode != AM_SEEKING_NoPositioning && (currentFlags & AM_SEEKING_ReturnTime)) *current = newStart;
    if (stopMode != AM_SEEKING_NoPositioning && (stopFlags & AM_SEEKING_ReturnTime)) *stop = segmentStop_;
  }
  return hr;
}

// Delivery restarts at the start of the frame that holds `start`; downstream is flushed
// first so that no sample of the old segment is played after the new one begins. The position
// reads `start` itself, not the frame's start: a caller that seeks back to a point and then
// compares the position with it must never see an earlier time (it would seek again, forever).
HRESULT OutputPin::Reposition(REFERENCE_TIME start, REFERENCE_TIME stop) {
  const mp3::FrameIndex &index = filter_.stream->index;
  const REFERENCE_TIME duration = Duration();
  const REFERENCE_TIME frameStart =
      start >= duration ? duration : index.FrameStartUnits(SeekLeadStart(*filter_.stream, index.FrameAtUnits(start)));
  const bool restart = Streaming();
  if (restart) {
    peer_->BeginFlush();
    StopStreaming();
    peer_->EndFlush();
  }
  segmentStart_ = frameStart;
  seekTarget_ = start;
  segmentStop_ = stop;
  currentPosition_ = start;
  presented.Restart(frameStart, start);
  return restart ? StartStreaming() : S_OK;
}

STDMETHODIMP OutputPin::GetPositions(LONGLONG *current, LONGLONG *stop) {
  if (current) GetCurrentPosition(current);
  if (stop) *stop = segmentStop_;
  return S_OK;
}

STDMETHODIMP OutputPin::GetAvailable(LONGLONG *earliest, LONGLONG *latest) {
  CriticalSectionLock hold(filter_.lock);
  if (earliest) *earliest = 0;
  if (latest) *latest = Duration();
  return S_OK;
}

STDMETHODIMP OutputPin::SetRate(double rate) { return rate == 1.0 ? S_OK : E_INVALIDARG; }

STDMETHODIMP OutputPin::GetRate(double *rate) { return Answer(rate, 1.0); }

STDMETHODIMP OutputPin::GetPreroll(LONGLONG *preroll) { return Answer(preroll, 0); }

}  // namespace clipvane_parser
