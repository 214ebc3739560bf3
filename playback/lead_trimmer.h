// A pass-through filter between the MP3 decoder and the renderer that lets nothing be heard from
// before the segment's start. After a seek our parser delivers lead frames before the target's
// frame so that the decoder has its history; they are marked as preroll, but Wine's decoder
// ignores the mark and plays them (zeros, then damaged audio). This filter cuts each segment's
// PCM at the seek's target sample, which also removes the part of the target's frame before
// the target, and restamps what is left so that the target is presented at stream time 0: the
// renderer starts at once instead of waiting out the lead. A decoder that honours preroll leaves
// it less to cut; the result is the same.
//
// Created by the program itself (no registration) and added to the graph with AddFilter.
// Seeking requests pass through its output pin upstream; its position is what the renderer
// presents, from the segment it hands downstream.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "parser/presentation_clock.h"
#include "win32/scoped.h"

class LeadTrimmer;

// Identity, direction and connection, shared by both pins. References go to the filter.
class TrimmerPin : public IPin {
public:
    TrimmerPin(LeadTrimmer& filter, PIN_DIRECTION direction, const wchar_t* name);
    virtual ~TrimmerPin();

    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;

    bool IsConnected() const { return peer_ != nullptr; }
    IPin* Peer() const { return peer_.Get(); }

protected:
    HRESULT SetConnection(IPin* peer, const AM_MEDIA_TYPE& type);
    virtual void DropConnection() {}

    LeadTrimmer& filter_;
    PIN_DIRECTION direction_;
    const wchar_t* name_;
    ComPtr<IPin> peer_;
    AM_MEDIA_TYPE type_ = {};
};

class TrimmerInput final : public TrimmerPin, public IMemInputPin {
public:
    explicit TrimmerInput(LeadTrimmer& filter);

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override { return TrimmerPin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return TrimmerPin::Release(); }

    STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    IMemAllocator* Allocator() const { return allocator_.Get(); }
    const AM_MEDIA_TYPE& Type() const { return type_; }

private:
    void DropConnection() override;
    // The sample's frames from the segment's cut on, restamped; false when none are left.
    bool Trim(IMediaSample* sample);

    ComPtr<IMemAllocator> allocator_;
    int rate_ = 0;
    int blockAlign_ = 0;
    // The current segment, in frames of PCM counted from the start of the file.
    LONGLONG segmentFirst_ = 0;  // the frame upstream stamps 0
    LONGLONG keepFrom_ = 0;      // the target: the first frame heard
    volatile LONG flushing_ = 0;
};

class TrimmerOutput final : public TrimmerPin, public IMediaSeeking {
public:
    explicit TrimmerOutput(LeadTrimmer& filter);

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override { return TrimmerPin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return TrimmerPin::Release(); }

    STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IMediaSeeking: passed to the decoder's output pin, except the position, which is ours.
    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

    IMemInputPin* Downstream() const { return memInput_.Get(); }
    // Where the next segment is heard from: the last seek's target (media time).
    LONGLONG SegmentTarget() const { return target_; }
    clipvane_parser::PresentationClock presented;

private:
    void DropConnection() override;
    // The decoder's output pin's seeking, or null.
    ComPtr<IMediaSeeking> Upstream();

    ComPtr<IMemInputPin> memInput_;
    volatile LONGLONG target_ = 0;
};

class LeadTrimmer final : public IBaseFilter {
public:
    LeadTrimmer();

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    IPin* PinAt(ULONG index);
    CRITICAL_SECTION lock;  // state and connections; never taken by the streaming thread
    volatile FILTER_STATE state = State_Stopped;
    TrimmerInput input;
    TrimmerOutput output;

private:
    ~LeadTrimmer();
    LONG refs_ = 1;
    ComPtr<IReferenceClock> clock_;
    IFilterGraph* graph_ = nullptr;  // not held: the graph holds the filter
    wchar_t name_[MAX_FILTER_NAME] = {};
};

// A new trimmer, or null when out of memory.
ComPtr<IBaseFilter> CreateLeadTrimmer();

// The first frame of a segment's PCM to keep and the frame upstream stamps 0, in frames from
// the file's start, for a segment that starts (upstream) at `segmentStart` and is heard from
// `target` (media times, 100 ns) at `rate` frames a second.
struct SegmentCut {
    LONGLONG segmentFirst;
    LONGLONG keepFrom;
};
SegmentCut CutSegment(REFERENCE_TIME segmentStart, REFERENCE_TIME target, int rate);
