// The hand-built playback graph. Every filter is created by class identifier and every pin is
// connected directly, so DirectShow never picks or inserts a filter of its own.
#include "playback/playback_graph.h"

#include "playback/lead_trimmer.h"

#include <uuids.h>
#include <algorithm>
#include <initializer_list>

namespace {

constexpr DWORD inProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
const wchar_t defaultRendererName[] = L"Default DirectSound Device";

const CLSID& SplitterClass(SplitterKind kind) {
    return kind == PreferredParser ? CLSID_PreferredParser : CLSID_MPEG1Splitter;
}

HRESULT CreateFilter(const CLSID& clsid, ComPtr<IBaseFilter>& filter) {
    HRESULT hr = CoCreateInstance(clsid, nullptr, inProcess, IID_IBaseFilter, filter.PutVoid());
    return SUCCEEDED(hr) && !filter ? E_NOINTERFACE : hr;
}

bool CanCreateFilter(const CLSID& clsid) {
    ComPtr<IBaseFilter> filter;
    return SUCCEEDED(CreateFilter(clsid, filter));
}

bool IsDefaultRenderer(IMoniker* moniker) {
    ComPtr<IPropertyBag> bag;
    moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid());
    if (!bag) return false;
    VARIANT name;
    VariantInit(&name);
    bool matches = SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR && name.bstrVal &&
                   lstrcmpiW(name.bstrVal, defaultRendererName) == 0;
    VariantClear(&name);
    return matches;
}

// The eight pins of a graph under construction. They are released before any filter leaves
// the graph: the system splitter frees its output pins when its input is disconnected, so a
// pin still held after RemoveFilter may point at freed memory.
struct GraphPins {
    ComPtr<IPin> sourceOut, splitterIn, splitterOut, decoderIn, decoderOut, trimmerIn, trimmerOut, rendererIn;
    bool AllFound() const {
        return sourceOut && splitterIn && splitterOut && decoderIn && decoderOut && trimmerIn && trimmerOut && rendererIn;
    }
};

}  // namespace

ComPtr<IBaseFilter> FindAudioRenderer() {
    ComPtr<IBaseFilter> renderer;
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, devices.PutVoid());
    if (!devices) return renderer;
    ComPtr<IEnumMoniker> monikers;
    devices->CreateClassEnumerator(CLSID_AudioRendererCategory, monikers.Put(), 0);
    if (!monikers) return renderer;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Put(), nullptr) == S_OK) {
        if (IsDefaultRenderer(moniker)) {
            moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, renderer.PutVoid());
            break;
        }
    }
    return renderer;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index) {
    ComPtr<IPin> pin;
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.Put());
    if (!pins) return pin;
    int seen = 0;
    while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction && seen++ == index) return pin;
    }
    pin.Reset();
    return pin;
}

HRESULT PlaybackGraph::Open(const wchar_t* path, SplitterKind kind) {
    // Before the renderer opens its own: it then shares a device that is already running.
    KeepSoundDeviceRunning();
    HRESULT hr = CreateFilters(path, kind);
    bool filtersAdded = false;
    const struct {
        IBaseFilter* filter;
        const wchar_t* name;
    } members[] = {{sourceFilter, L"source"},
                   {splitterFilter, L"mp3Parser"},
                   {decoderFilter, L"decoder"},
                   {trimmerFilter, L"trimmer"},
                   {rendererFilter, L"renderer"}};
    for (const auto& member : members) {
        if (FAILED(hr)) break;
        filtersAdded = true;
        hr = graphBuilder->AddFilter(member.filter, member.name);
    }
    if (SUCCEEDED(hr)) hr = ConnectFilters(kind);
    if (SUCCEEDED(hr)) hr = QueryInto(rendererFilter.Get(), IID_IBasicAudio, basicAudio);
    if (FAILED(hr)) {
        TearDown(filtersAdded);
        return hr;
    }
    ComPtr<IPin> trimmerOut = FindPin(trimmerFilter, PINDIR_OUTPUT, 0);
    if (trimmerOut) QueryInto(trimmerOut.Get(), IID_IMediaSeeking, outputPosition_);
    mediaEvents->SetNotifyWindow(reinterpret_cast<OAHWND>(notifyWindow_), notifyMessage_, 0);
    built = TRUE;
    return S_OK;
}

// Each creation's own result is kept, so that the user reads the real reason (a class that is
// not registered, a file that cannot be opened) rather than the null pointer it leaves behind.
HRESULT PlaybackGraph::CreateFilters(const wchar_t* path, SplitterKind kind) {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, inProcess, IID_IGraphBuilder, graphBuilder.PutVoid());
    if (FAILED(hr)) return hr;
    for (HRESULT query : {QueryInto(graphBuilder.Get(), IID_IMediaControl, mediaControl),
                          QueryInto(graphBuilder.Get(), IID_IMediaEventEx, mediaEvents),
                          QueryInto(graphBuilder.Get(), IID_IMediaSeeking, mediaSeeking)})
        if (FAILED(query)) return query;
    if (FAILED(hr = CreateFilter(SplitterClass(kind), splitterFilter))) return hr;
    if (FAILED(hr = CreateFilter(CLSID_Mp3Decoder, decoderFilter))) return hr;
    trimmerFilter = CreateLeadTrimmer();
    if (!trimmerFilter) return E_OUTOFMEMORY;
    rendererFilter = FindAudioRenderer();
    if (!rendererFilter) return VFW_E_NO_AUDIO_HARDWARE;
    if (FAILED(hr = CreateFilter(CLSID_AsyncReader, sourceFilter))) return hr;
    ComPtr<IFileSourceFilter> fileSource;
    if (FAILED(hr = QueryInto(sourceFilter.Get(), IID_IFileSourceFilter, fileSource))) return hr;
    return fileSource->Load(path, nullptr);
}

HRESULT PlaybackGraph::ConnectFilters(SplitterKind kind) {
    GraphPins pins;
    pins.sourceOut = FindPin(sourceFilter, PINDIR_OUTPUT, 0);
    pins.splitterIn = FindPin(splitterFilter, PINDIR_INPUT, 0);
    if (kind == Mpeg1Splitter) {
        // The system splitter creates its output pin only once its input knows the stream.
        if (!pins.sourceOut || !pins.splitterIn) return VFW_E_NOT_FOUND;
        HRESULT hr = graphBuilder->ConnectDirect(pins.sourceOut, pins.splitterIn, nullptr);
        if (FAILED(hr)) return hr;
    }
    pins.splitterOut = FindPin(splitterFilter, PINDIR_OUTPUT, 0);
    pins.decoderIn = FindPin(decoderFilter, PINDIR_INPUT, 0);
    pins.decoderOut = FindPin(decoderFilter, PINDIR_OUTPUT, 0);
    pins.trimmerIn = FindPin(trimmerFilter, PINDIR_INPUT, 0);
    pins.trimmerOut = FindPin(trimmerFilter, PINDIR_OUTPUT, 0);
    pins.rendererIn = FindPin(rendererFilter, PINDIR_INPUT, 0);
    if (!pins.AllFound()) return VFW_E_NOT_FOUND;
    HRESULT hr = S_OK;
    if (kind == PreferredParser) hr = graphBuilder->ConnectDirect(pins.sourceOut, pins.splitterIn, nullptr);
    if (SUCCEEDED(hr)) hr = graphBuilder->ConnectDirect(pins.splitterOut, pins.decoderIn, nullptr);
    if (SUCCEEDED(hr)) hr = graphBuilder->ConnectDirect(pins.decoderOut, pins.trimmerIn, nullptr);
    if (SUCCEEDED(hr)) hr = graphBuilder->ConnectDirect(pins.trimmerOut, pins.rendererIn, nullptr);
    return hr;
}

void PlaybackGraph::Close() {
    if (!built) return;
    mediaEvents->SetNotifyWindow(0, 0, 0);
    TearDown(true);
}

void PlaybackGraph::TearDown(bool filtersAdded) {
    outputPosition_.Reset();
    sounding_ = false;
    if (filtersAdded) {
        for (IBaseFilter* filter : {sourceFilter.Get(), splitterFilter.Get(), decoderFilter.Get(), trimmerFilter.Get(),
                                    rendererFilter.Get()})
            if (filter) graphBuilder->RemoveFilter(filter);
    }
    for (ComPtr<IBaseFilter>* filter :
         {&sourceFilter, &splitterFilter, &decoderFilter, &trimmerFilter, &rendererFilter})
        filter->Reset();
    graphBuilder.Reset();
    mediaControl.Reset();
    mediaEvents.Reset();
    mediaSeeking.Reset();
    basicAudio.Reset();
    built = FALSE;
}

// Cued first, like a seek: samples that reach the renderer after their time are played late
// rather than dropped, and the sound would lag the position by as much from then on.
HRESULT PlaybackGraph::Run() {
    RestHere();
    HRESULT hr = mediaControl->Pause();
    if (SUCCEEDED(hr)) hr = RunOnceCued();
    sounding_ = SUCCEEDED(hr);
    return hr;
}

HRESULT PlaybackGraph::Pause() {
    sounding_ = false;
    return mediaControl->Pause();
}

HRESULT PlaybackGraph::Stop() {
    sounding_ = false;
    return mediaControl->Stop();
}

void PlaybackGraph::RestHere() { restingAt_ = OutputPosition(); }

LONGLONG PlaybackGraph::OutputPosition() {
    LONGLONG position = 0;
    (outputPosition_ ? outputPosition_ : mediaSeeking)->GetCurrentPosition(&position);
    return position;
}

// Once paused or stopped, what had gone out has been heard.
LONGLONG PlaybackGraph::OutputPositionLess(LONGLONG delay) {
    const LONGLONG output = OutputPosition();
    if (!sounding_) return output;
    return std::max(restingAt_, output - delay);
}

int PlaybackGraph::GetPositionMs() { return ReferenceTimeToMs(OutputPositionLess(OutputLatency())); }
int PlaybackGraph::GetOutputPositionMs() { return ReferenceTimeToMs(OutputPositionLess(OutputStartSlack())); }

int PlaybackGraph::GetStopMs() {
    LONGLONG stop = 0;
    mediaSeeking->GetStopPosition(&stop);
    return ReferenceTimeToMs(stop);
}

bool PlaybackGraph::IsAtEnd() {
    LONGLONG stop = 0;
    mediaSeeking->GetStopPosition(&stop);
    return OutputPosition() >= stop;
}

HRESULT PlaybackGraph::SetVolume(long volume) { return basicAudio->put_Volume(volume); }

void PlaybackGraph::SeekMs(int ms) {
    LONGLONG position = 0;
    if (ms > 0) {
        // At or past the end, seek to the stop position itself, not to its whole milliseconds:
        // a stop position between two milliseconds would otherwise leave the seek short of the
        // end, and IsAtEnd, which compares reference times, would not see the end reached.
        LONGLONG stop = 0;
        mediaSeeking->GetStopPosition(&stop);
        position = ms >= ReferenceTimeToMs(stop) ? stop : MsToReferenceTime(ms);
    }
    OAFilterState state = State_Stopped;
    const bool running = SUCCEEDED(mediaControl->GetState(0, &state)) && state == State_Running;
    // A seek while running pauses the graph, so that the new segment is cued, and runs it again.
    // Done here rather than left to the graph manager, because Wine's starts the stream 200 ms
    // after a Run it is not given a time for: every loop jump would begin with 200 ms of silence.
    if (running) mediaControl->Pause();
    mediaSeeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    RestHere();
    if (running) sounding_ = SUCCEEDED(RunOnceCued());
}

// Waits until the renderer holds the new segment's first samples, then starts the stream a
// moment later: long enough for the renderer to write them ahead of the sound, short enough
// not to be heard as a pause.
HRESULT PlaybackGraph::RunOnceCued() {
    constexpr LONG cueWaitMs = 500;
    constexpr REFERENCE_TIME startMargin = 30 * 10000;
    OAFilterState state = State_Paused;
    mediaControl->GetState(cueWaitMs, &state);
    ComPtr<IMediaFilter> graphFilter;
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME now = 0;
    if (SUCCEEDED(QueryInto(graphBuilder.Get(), IID_IMediaFilter, graphFilter)) &&
        SUCCEEDED(graphFilter->GetSyncSource(clock.Put())) && clock && SUCCEEDED(clock->GetTime(&now)))
        return graphFilter->Run(now + startMargin);
    return mediaControl->Run();
}

FilterCheckResult PlaybackGraph::CheckFilters() {
    if (!CanCreateFilter(CLSID_Mp3Decoder) || !CanCreateFilter(CLSID_PreferredParser)) return Missing;
    if (!CanCreateFilter(CLSID_MPEG1Splitter) || !CanCreateFilter(CLSID_AsyncReader)) return SystemBroken;
    return Ok;
}
