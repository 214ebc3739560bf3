// The streaming thread: from the segment's first frame to its stop, whole frames are read
// through the source's IAsyncReader and delivered downstream in time-stamped samples.
#include <algorithm>

#include "parser_filter.h"

namespace clipvane_parser {
namespace {

// How long Stop waits for the thread before flushing downstream to free a Receive that a
// paused renderer is still holding.
constexpr DWORD kJoinGraceMs = 2000;

// Reads frames [first, first + count) into `buffer`, merging frames that lie back to back
// in the file into one read. Returns the bytes written, or 0 on a read failure.
size_t ReadFrames(const StreamData &stream, size_t first, size_t count, BYTE *buffer, size_t capacity) {
  size_t filled = 0;
  size_t frame = first;
  const size_t end = first + count;
  while (frame < end) {
    const uint64_t offset = stream.index.FrameOffset(frame);
    uint64_t length = stream.index.FrameSize(frame);
    size_t run = frame + 1;
    while (run < end && stream.index.FrameOffset(run) == offset + length) {
      length += stream.index.FrameSize(run);
      ++run;
    }
    if (filled + length > capacity) return 0;
    if (stream.reader->SyncRead(static_cast<LONGLONG>(offset), static_cast<LONG>(length), buffer + filled) != S_OK)
      return 0;
    filled += static_cast<size_t>(length);
    frame = run;
  }
  return filled;
}

}  // namespace

REFERENCE_TIME OutputPin::Duration() const { return filter_.stream ? filter_.stream->index.DurationUnits() : 0; }

void OutputPin::ResetPositions() {
  segmentStart_ = 0;
  seekTarget_ = 0;
  segmentStop_ = Duration();
  currentPosition_ = 0;
  presented.Restart(0, 0);
}

HRESULT OutputPin::StartStreaming() {
  if (thread_.Valid()) return S_OK;
  if (!memInput_ || !allocator_ || !filter_.stream) return VFW_E_NOT_CONNECTED;
  HRESULT hr = allocator_->Commit();
  if (FAILED(hr)) return hr;
  stopRequested_ = 0;
  currentPosition_ = seekTarget_;
  presented.Restart(segmentStart_, seekTarget_);
  peer_->NewSegment(segmentStart_, segmentStop_, 1.0);
  thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
  if (!thread_.Valid()) {
    allocator_->Decommit();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  return S_OK;
}

void OutputPin::StopStreaming() {
  if (!thread_.Valid()) return;
  InterlockedExchange(&stopRequested_, 1);
  // Decommitting wakes a thread waiting for a free buffer.
  if (allocator_) allocator_->Decommit();
  if (WaitForSingleObject(thread_.Get(), kJoinGraceMs) == WAIT_TIMEOUT) {
    peer_->BeginFlush();
    WaitForSingleObject(thread_.Get(), INFINITE);
    peer_->EndFlush();
  }
  thread_.Reset();
}

DWORD WINAPI OutputPin::ThreadMain(void *self) {
  // The source and allocator are free-threaded COM objects; the thread still joins the
  // multithreaded apartment as every COM-calling thread must.
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  static_cast<OutputPin *>(self)->DeliverStream();
  if (SUCCEEDED(init)) CoUninitialize();
  return 0;
}

void OutputPin::DeliverStream() {
  const StreamData &stream = *filter_.stream;
  const size_t frameCount = stream.index.FrameCount();
  const size_t target = seekTarget_ >= Duration() ? frameCount : stream.index.FrameAtUnits(seekTarget_);
  size_t frame = segmentStart_ >= Duration() ? frameCount : stream.index.FrameAtUnits(segmentStart_);
  bool firstSample = true;
  while (!stopRequested_) {
    const REFERENCE_TIME stop = segmentStop_;
    if (frame >= frameCount || stream.index.FrameStartUnits(frame) >= stop) break;
    // Lead frames travel in samples of their own, so that no heard frame shares their marking.
    const bool lead = frame < target;
    size_t count = std::min(framesPerSample_, (lead ? target : frameCount) - frame);
    while (count > 1 && stream.index.FrameStartUnits(frame + count - 1) >= stop) --count;
    const HRESULT hr = DeliverFrames(frame, count, firstSample, lead);
    if (hr == S_FALSE || hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return;
    if (FAILED(hr)) {
      if (!stopRequested_) filter_.NotifyGraph(EC_ERRORABORT, hr, 0);
      break;
    }
    firstSample = false;
    frame += count;
  }
  if (!stopRequested_) peer_->EndOfStream();
}

// Wine's MP3 decoder tears down its decoding pipeline in Stop without waiting for a
// Receive in progress on another thread, and a Receive that runs into that teardown
// hangs or crashes. The graph stops the decoder before this filter, so the thread asks
// for the decoder's state before every sample: GetState waits while the decoder is inside
// Stop and then reports it stopped, and the thread ends instead of delivering.
bool OutputPin::DownstreamStopped() {
  FILTER_STATE state = State_Running;
  return downstream_ && SUCCEEDED(downstream_->GetState(0, &state)) && state == State_Stopped;
}

HRESULT OutputPin::DeliverFrames(size_t first, size_t count, bool firstSample, bool lead) {
  const StreamData &stream = *filter_.stream;
  ComPtr<IMediaSample> sample;
  HRESULT hr = allocator_->GetBuffer(sample.Put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE *buffer = nullptr;
  hr = sample->GetPointer(&buffer);
  size_t filled = 0;
  if (SUCCEEDED(hr)) {
    filled = ReadFrames(stream, first, count, buffer, static_cast<size_t>(sample->GetSize()));
    if (filled == 0) hr = HRESULT_FROM_WIN32(ERROR_READ_FAULT);
  }
  if (SUCCEEDED(hr)) {
    REFERENCE_TIME start = stream.index.FrameStartUnits(first) - segmentStart_;
    REFERENCE_TIME stop = stream.index.FrameStartUnits(first + count) - segmentStart_;
    sample->SetActualDataLength(static_cast<long>(filled));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(firstSample ? TRUE : FALSE);
    // Lead frames open the segment and are marked as preroll (see README.md).
    sample->SetPreroll(lead ? TRUE : FALSE);
    hr = DownstreamStopped() ? VFW_E_WRONG_STATE : memInput_->Receive(sample);
    if (hr == S_OK && !lead) currentPosition_ = segmentStart_ + stop;
  }
  return hr;
}

}  // namespace clipvane_parser
