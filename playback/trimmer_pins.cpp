// The trimmer's two pins: the input cuts each segment at its target and passes the rest on in
// the decoder's own samples; the output passes seeking upstream and reports the position.
#include "playback/lead_trimmer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr LONGLONG unitsPerSecond = 10000000;

// The PCM frame a media time falls on, to the nearest frame: the decoder's time stamps are its
// frame counts converted to 100 ns and back, a fraction of a frame off.
LONGLONG NearestFrame(REFERENCE_TIME units, int rate) {
    const LONGLONG scaled = units * rate;
    return (scaled >= 0 ? scaled + unitsPerSecond / 2 : scaled - unitsPerSecond / 2) / unitsPerSecond;
}

REFERENCE_TIME FrameUnits(LONGLONG frames, int rate) { return frames * unitsPerSecond / rate; }

}  // namespace

// The target's own frame is the first heard, as a position of whole milliseconds names it: the
// frame a marked point falls in, counted down.
SegmentCut CutSegment(REFERENCE_TIME segmentStart, REFERENCE_TIME target, int rate) {
    const LONGLONG first = NearestFrame(segmentStart, rate);
    return {first, std::max(first, std::max<LONGLONG>(0, target) * rate / unitsPerSecond)};
}

TrimmerInput::TrimmerInput(LeadTrimmer& filter) : TrimmerPin(filter, PINDIR_INPUT, L"In") {}

STDMETHODIMP TrimmerInput::QueryInterface(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) *result = static_cast<IPin*>(this);
    if (IsEqualIID(iid, IID_IMemInputPin)) *result = static_cast<IMemInputPin*>(this);
    if (!*result) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP TrimmerInput::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

STDMETHODIMP TrimmerInput::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    CriticalSectionLock hold(filter_.lock);
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (filter_.state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (QueryAccept(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    const HRESULT hr = SetConnection(connector, *type);
    if (FAILED(hr)) return hr;
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
    rate_ = static_cast<int>(format->nSamplesPerSec);
    blockAlign_ = format->nBlockAlign;
    segmentFirst_ = keepFrom_ = 0;
    return S_OK;
}

void TrimmerInput::DropConnection() { allocator_.Reset(); }

STDMETHODIMP TrimmerInput::EndOfStream() {
    IPin* downstream = filter_.output.Peer();
    return downstream ? downstream->EndOfStream() : S_OK;
}

STDMETHODIMP TrimmerInput::BeginFlush() {
    InterlockedExchange(&flushing_, 1);
    IPin* downstream = filter_.output.Peer();
    return downstream ? downstream->BeginFlush() : S_OK;
}

STDMETHODIMP TrimmerInput::EndFlush() {
    IPin* downstream = filter_.output.Peer();
    const HRESULT hr = downstream ? downstream->EndFlush() : S_OK;
    InterlockedExchange(&flushing_, 0);
    return hr;
}

// Upstream stamps the segment from `start`, the lead's first frame after a seek; downstream it
// starts at the target, which is presented first.
STDMETHODIMP TrimmerInput::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    const REFERENCE_TIME target = std::max(start, filter_.output.SegmentTarget());
    if (rate_ > 0) {
        const SegmentCut cut = CutSegment(start, target, rate_);
        segmentFirst_ = cut.segmentFirst;
        keepFrom_ = cut.keepFrom;
    }
    filter_.output.presented.Restart(target, target);
    IPin* downstream = filter_.output.Peer();
    return downstream ? downstream->NewSegment(target, stop, rate) : S_OK;
}

// The decoder uses the renderer's allocator where it offers one, so that the samples it fills
// are the ones the renderer takes; otherwise its own, which the renderer is told of.
STDMETHODIMP TrimmerInput::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    IMemInputPin* downstream = filter_.output.Downstream();
    if (downstream) return downstream->GetAllocator(allocator);
    *allocator = nullptr;
    return VFW_E_NO_ALLOCATOR;
}

STDMETHODIMP TrimmerInput::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    // Samples are cut in place.
    if (readOnly) return E_FAIL;
    allocator->AddRef();
    allocator_.Reset(allocator);
    IMemInputPin* downstream = filter_.output.Downstream();
    return downstream ? downstream->NotifyAllocator(allocator, FALSE) : S_OK;
}

STDMETHODIMP TrimmerInput::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

bool TrimmerInput::Trim(IMediaSample* sample) {
    REFERENCE_TIME start = 0, stop = 0;
    BYTE* data = nullptr;
    if (rate_ <= 0 || FAILED(sample->GetTime(&start, &stop)) || FAILED(sample->GetPointer(&data))) return true;
    const LONGLONG frames = sample->GetActualDataLength() / blockAlign_;
    const LONGLONG first = segmentFirst_ + NearestFrame(start, rate_);
    const LONGLONG skipped = std::clamp<LONGLONG>(keepFrom_ - first, 0, frames);
    if (skipped == frames) return false;
    if (skipped > 0) {
        memmove(data, data + skipped * blockAlign_, static_cast<size_t>((frames - skipped) * blockAlign_));
        sample->SetActualDataLength(static_cast<long>((frames - skipped) * blockAlign_));
    }
    REFERENCE_TIME heardStart = FrameUnits(first + skipped - keepFrom_, rate_);
    REFERENCE_TIME heardStop = FrameUnits(first + frames - keepFrom_, rate_);
    sample->SetTime(&heardStart, &heardStop);
    return true;
}

STDMETHODIMP TrimmerInput::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    if (flushing_) return S_FALSE;
    if (filter_.state == State_Stopped) return VFW_E_WRONG_STATE;
    IMemInputPin* downstream = filter_.output.Downstream();
    if (!downstream) return VFW_E_NOT_CONNECTED;
    return Trim(sample) ? downstream->Receive(sample) : S_OK;
}

STDMETHODIMP TrimmerInput::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
    if (!samples || !processed) return E_POINTER;
    HRESULT hr = S_OK;
    for (*processed = 0; *processed < count && hr == S_OK; ++*processed) hr = Receive(samples[*processed]);
    return hr;
}

STDMETHODIMP TrimmerInput::ReceiveCanBlock() { return S_OK; }

TrimmerOutput::TrimmerOutput(LeadTrimmer& filter) : TrimmerPin(filter, PINDIR_OUTPUT, L"Out") {}

STDMETHODIMP TrimmerOutput::QueryInterface(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) *result = static_cast<IPin*>(this);
    if (IsEqualIID(iid, IID_IMediaSeeking)) *result = static_cast<IMediaSeeking*>(this);
    if (!*result) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// The renderer takes the type the decoder gave the input, and the decoder's allocator.
STDMETHODIMP TrimmerOutput::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (!receiver) return E_POINTER;
    CriticalSectionLock hold(filter_.lock);
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (filter_.state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!filter_.input.IsConnected()) return VFW_E_NOT_CONNECTED;
    const AM_MEDIA_TYPE& offered = filter_.input.Type();
    if (type && !IsEqualGUID(type->majortype, GUID_NULL) && !IsEqualGUID(type->majortype, offered.majortype))
        return VFW_E_NO_ACCEPTABLE_TYPES;
    HRESULT hr = SetConnection(receiver, offered);
    if (SUCCEEDED(hr)) hr = receiver->ReceiveConnection(static_cast<IPin*>(this), &type_);
    ComPtr<IMemInputPin> input;
    if (SUCCEEDED(hr)) hr = QueryInto(receiver, IID_IMemInputPin, input);
    if (SUCCEEDED(hr) && filter_.input.Allocator()) hr = input->NotifyAllocator(filter_.input.Allocator(), FALSE);
    if (FAILED(hr)) {
        if (peer_) receiver->Disconnect();
        peer_.Reset();
        return hr;
    }
    memInput_ = std::move(input);
    return S_OK;
}

STDMETHODIMP TrimmerOutput::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

void TrimmerOutput::DropConnection() { memInput_.Reset(); }

// Only input pins receive stream control calls.
STDMETHODIMP TrimmerOutput::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP TrimmerOutput::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP TrimmerOutput::EndFlush() { return E_UNEXPECTED; }
STDMETHODIMP TrimmerOutput::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return E_UNEXPECTED; }

ComPtr<IMediaSeeking> TrimmerOutput::Upstream() {
    ComPtr<IMediaSeeking> seeking;
    IPin* decoder = filter_.input.Peer();
    if (decoder) QueryInto(decoder, IID_IMediaSeeking, seeking);
    return seeking;
}

#define PASS_UPSTREAM(call)                            \
    ComPtr<IMediaSeeking> upstream = Upstream();       \
    if (!upstream) return VFW_E_NOT_CONNECTED;         \
    return upstream->call

STDMETHODIMP TrimmerOutput::GetCapabilities(DWORD* capabilities) { PASS_UPSTREAM(GetCapabilities(capabilities)); }
STDMETHODIMP TrimmerOutput::CheckCapabilities(DWORD* capabilities) { PASS_UPSTREAM(CheckCapabilities(capabilities)); }
STDMETHODIMP TrimmerOutput::IsFormatSupported(const GUID* format) { PASS_UPSTREAM(IsFormatSupported(format)); }
STDMETHODIMP TrimmerOutput::QueryPreferredFormat(GUID* format) { PASS_UPSTREAM(QueryPreferredFormat(format)); }
STDMETHODIMP TrimmerOutput::GetTimeFormat(GUID* format) { PASS_UPSTREAM(GetTimeFormat(format)); }
STDMETHODIMP TrimmerOutput::IsUsingTimeFormat(const GUID* format) { PASS_UPSTREAM(IsUsingTimeFormat(format)); }
STDMETHODIMP TrimmerOutput::SetTimeFormat(const GUID* format) { PASS_UPSTREAM(SetTimeFormat(format)); }
STDMETHODIMP TrimmerOutput::GetDuration(LONGLONG* duration) { PASS_UPSTREAM(GetDuration(duration)); }
STDMETHODIMP TrimmerOutput::GetStopPosition(LONGLONG* stop) { PASS_UPSTREAM(GetStopPosition(stop)); }
STDMETHODIMP TrimmerOutput::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                              const GUID* sourceFormat) {
    PASS_UPSTREAM(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}
STDMETHODIMP TrimmerOutput::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    PASS_UPSTREAM(GetAvailable(earliest, latest));
}
STDMETHODIMP TrimmerOutput::SetRate(double rate) { PASS_UPSTREAM(SetRate(rate)); }
STDMETHODIMP TrimmerOutput::GetRate(double* rate) { PASS_UPSTREAM(GetRate(rate)); }
STDMETHODIMP TrimmerOutput::GetPreroll(LONGLONG* preroll) { PASS_UPSTREAM(GetPreroll(preroll)); }

#undef PASS_UPSTREAM

// What the renderer presents now, of the segment handed to it: never past the stop.
STDMETHODIMP TrimmerOutput::GetCurrentPosition(LONGLONG* current) {
    if (!current) return E_POINTER;
    LONGLONG stop = 0;
    ComPtr<IMediaSeeking> upstream = Upstream();
    if (!upstream || FAILED(upstream->GetStopPosition(&stop))) return VFW_E_NOT_CONNECTED;
    *current = presented.Now(stop);
    return S_OK;
}

STDMETHODIMP TrimmerOutput::GetPositions(LONGLONG* current, LONGLONG* stop) {
    HRESULT hr = S_OK;
    if (current) hr = GetCurrentPosition(current);
    if (SUCCEEDED(hr) && stop) hr = GetStopPosition(stop);
    return hr;
}

// The target is known before the call goes upstream: a seek while paused or running restarts
// the stream within it, and the new segment must already be cut there.
STDMETHODIMP TrimmerOutput::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    ComPtr<IMediaSeeking> upstream = Upstream();
    if (!upstream) return VFW_E_NOT_CONNECTED;
    const DWORD currentMode = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (currentMode != AM_SEEKING_NoPositioning && !current) return E_POINTER;
    const LONGLONG previous = target_;
    if (currentMode == AM_SEEKING_AbsolutePositioning || currentMode == AM_SEEKING_RelativePositioning) {
        LONGLONG duration = 0, from = 0;
        if (currentMode == AM_SEEKING_RelativePositioning) GetCurrentPosition(&from);
        upstream->GetDuration(&duration);
        target_ = std::clamp<LONGLONG>(from + *current, 0, std::max<LONGLONG>(0, duration));
        presented.Restart(target_, target_);
    }
    const HRESULT hr = upstream->SetPositions(current, currentFlags, stop, stopFlags);
    if (FAILED(hr)) target_ = previous;
    return hr;
}
