// The hand-built playback graph. Every filter is created by class identifier and every pin is
// connected directly, so DirectShow never picks or inserts a filter of its own.
#include "playback/playback_graph.h"
#include "app/app_state.h"

#include <uuids.h>

const CLSID CLSID_PreferredParser = {0x13CEBFE0, 0x256B, 0x44BA, {0xA2, 0x7B, 0x9F, 0x85, 0xCB, 0xDB, 0x97, 0x2D}};
const CLSID CLSID_Mp3Decoder = {0x38BE3000, 0xDBF4, 0x11D0, {0x86, 0x0E, 0x00, 0xA0, 0x24, 0xCF, 0xEF, 0x6D}};

namespace {

constexpr DWORD inProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
const wchar_t defaultRendererName[] = L"Default DirectSound Device";

template <typename T>
void ReleaseAndClear(T*& pointer) {
    if (pointer) {
        pointer->Release();
        pointer = nullptr;
    }
}

const CLSID& SplitterClass(SplitterKind kind) {
    return kind == PreferredParser ? CLSID_PreferredParser : CLSID_MPEG1Splitter;
}

bool CanCreateFilter(const CLSID& clsid) {
    IBaseFilter* filter = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, inProcess, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
    if (FAILED(hr) || !filter) return false;
    filter->Release();
    return true;
}

bool IsDefaultRenderer(IMoniker* moniker) {
    IPropertyBag* bag = nullptr;
    moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag));
    if (!bag) return false;
    VARIANT name;
    VariantInit(&name);
    bool matches = SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR && name.bstrVal &&
                   lstrcmpiW(name.bstrVal, defaultRendererName) == 0;
    VariantClear(&name);
    bag->Release();
    return matches;
}

// The six pins of a graph under construction. They must be released before any filter
// leaves the graph: the system splitter frees its output pins when its input is
// disconnected, so a pin still held after RemoveFilter may point at freed memory.
struct GraphPins {
    IPin* sourceOut = nullptr;
    IPin* splitterIn = nullptr;
    IPin* splitterOut = nullptr;
    IPin* decoderIn = nullptr;
    IPin* decoderOut = nullptr;
    IPin* rendererIn = nullptr;
    void ReleaseAll() {
        for (IPin** pin : {&sourceOut, &splitterIn, &splitterOut, &decoderIn, &decoderOut, &rendererIn})
            ReleaseAndClear(*pin);
    }
    ~GraphPins() { ReleaseAll(); }
};

}  // namespace

IBaseFilter* FindAudioRenderer() {
    ICreateDevEnum* devices = nullptr;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     reinterpret_cast<void**>(&devices));
    if (!devices) return nullptr;
    IEnumMoniker* monikers = nullptr;
    devices->CreateClassEnumerator(CLSID_AudioRendererCategory, &monikers, 0);
    if (!monikers) {
        devices->Release();
        return nullptr;
    }
    IBaseFilter* renderer = nullptr;
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        bool found = IsDefaultRenderer(moniker);
        if (found) moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&renderer));
        moniker->Release();
        if (found) break;
    }
    monikers->Release();
    devices->Release();
    return renderer;
}

IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index) {
    IEnumPins* pins = nullptr;
    filter->EnumPins(&pins);
    if (!pins) return nullptr;
    IPin* result = nullptr;
    IPin* pin = nullptr;
    int seen = 0;
    while (!result && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            if (seen == index) {
                result = pin;
                continue;
            }
            ++seen;
        }
        pin->Release();
    }
    pins->Release();
    return result;
}

HRESULT PlaybackGraph::Open(const wchar_t* path, SplitterKind kind) {
    GraphPins pins;
    bool filtersAdded = false;
    auto fail = [&](HRESULT hr) {
        pins.ReleaseAll();
        if (filtersAdded) {
            for (IBaseFilter* filter : {sourceFilter, splitterFilter, decoderFilter, rendererFilter})
                graphBuilder->RemoveFilter(filter);
        }
        ReleaseAll();
        return hr;
    };

    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, inProcess, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&graphBuilder));
    if (FAILED(hr)) return fail(hr);
    graphBuilder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&mediaControl));
    graphBuilder->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&mediaEvents));
    graphBuilder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&mediaSeeking));
    if (!mediaControl || !mediaEvents || !mediaSeeking) return fail(E_NOINTERFACE);

    CoCreateInstance(SplitterClass(kind), nullptr, inProcess, IID_IBaseFilter, reinterpret_cast<void**>(&splitterFilter));
    CoCreateInstance(CLSID_Mp3Decoder, nullptr, inProcess, IID_IBaseFilter, reinterpret_cast<void**>(&decoderFilter));
    rendererFilter = FindAudioRenderer();
    CoCreateInstance(CLSID_AsyncReader, nullptr, inProcess, IID_IBaseFilter, reinterpret_cast<void**>(&sourceFilter));

    if (sourceFilter) {
        IFileSourceFilter* fileSource = nullptr;
        hr = sourceFilter->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&fileSource));
        if (!fileSource) return fail(FAILED(hr) ? hr : E_NOINTERFACE);
        hr = fileSource->Load(path, nullptr);
        fileSource->Release();
        if (FAILED(hr)) return fail(hr);
    }

    // A filter that could not be created is a null here, and AddFilter refuses it.
    filtersAdded = true;
    const struct { IBaseFilter* filter; const wchar_t* name; } members[] = {
        {sourceFilter, L"source"}, {splitterFilter, L"mp3Parser"}, {decoderFilter, L"decoder"}, {rendererFilter, L"renderer"}};
    for (const auto& member : members) {
        hr = graphBuilder->AddFilter(member.filter, member.name);
        if (FAILED(hr)) return fail(hr);
    }

    if (kind == Mpeg1Splitter) {
        // The system splitter creates its output pin only once its input knows the stream.
        pins.sourceOut = FindPin(sourceFilter, PINDIR_OUTPUT, 0);
        pins.splitterIn = FindPin(splitterFilter, PINDIR_INPUT, 0);
        if (!pins.sourceOut || !pins.splitterIn) return fail(VFW_E_NOT_FOUND);
        hr = graphBuilder->ConnectDirect(pins.sourceOut, pins.splitterIn, nullptr);
        if (FAILED(hr)) return fail(hr);
        pins.splitterOut = FindPin(splitterFilter, PINDIR_OUTPUT, 0);
        pins.decoderIn = FindPin(decoderFilter, PINDIR_INPUT, 0);
        pins.decoderOut = FindPin(decoderFilter, PINDIR_OUTPUT, 0);
        pins.rendererIn = FindPin(rendererFilter, PINDIR_INPUT, 0);
        if (!pins.splitterOut || !pins.decoderIn || !pins.decoderOut || !pins.rendererIn) return fail(VFW_E_NOT_FOUND);
    } else {
        pins.sourceOut = FindPin(sourceFilter, PINDIR_OUTPUT, 0);
        pins.splitterIn = FindPin(splitterFilter, PINDIR_INPUT, 0);
        pins.splitterOut = FindPin(splitterFilter, PINDIR_OUTPUT, 0);
        pins.decoderIn = FindPin(decoderFilter, PINDIR_INPUT, 0);
        pins.decoderOut = FindPin(decoderFilter, PINDIR_OUTPUT, 0);
        pins.rendererIn = FindPin(rendererFilter, PINDIR_INPUT, 0);
        if (!pins.sourceOut || !pins.splitterIn || !pins.splitterOut || !pins.decoderIn || !pins.decoderOut || !pins.rendererIn)
            return fail(VFW_E_NOT_FOUND);
        hr = graphBuilder->ConnectDirect(pins.sourceOut, pins.splitterIn, nullptr);
        if (FAILED(hr)) return fail(hr);
    }
    hr = graphBuilder->ConnectDirect(pins.splitterOut, pins.decoderIn, nullptr);
    if (FAILED(hr)) return fail(hr);
    hr = graphBuilder->ConnectDirect(pins.decoderOut, pins.rendererIn, nullptr);
    if (FAILED(hr)) return fail(hr);
    pins.ReleaseAll();

    rendererFilter->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&basicAudio));
    if (!basicAudio) return fail(E_NOINTERFACE);
    mediaEvents->SetNotifyWindow(reinterpret_cast<OAHWND>(theApp.mainWindow), graphEventMessage, 0);
    built = TRUE;
    return S_OK;
}

void PlaybackGraph::Close() {
    if (!built) return;
    mediaEvents->SetNotifyWindow(0, 0, 0);
    for (IBaseFilter* filter : {sourceFilter, splitterFilter, decoderFilter, rendererFilter})
        graphBuilder->RemoveFilter(filter);
    ReleaseAll();
}

void PlaybackGraph::ReleaseAll() {
    ReleaseAndClear(sourceFilter);
    ReleaseAndClear(splitterFilter);
    ReleaseAndClear(decoderFilter);
    ReleaseAndClear(rendererFilter);
    ReleaseAndClear(graphBuilder);
    ReleaseAndClear(mediaControl);
    ReleaseAndClear(mediaEvents);
    ReleaseAndClear(mediaSeeking);
    ReleaseAndClear(basicAudio);
    built = FALSE;
}

HRESULT PlaybackGraph::Run() { return mediaControl->Run(); }
HRESULT PlaybackGraph::Pause() { return mediaControl->Pause(); }
HRESULT PlaybackGraph::Stop() { return mediaControl->Stop(); }

int PlaybackGraph::GetPositionMs() {
    LONGLONG position = 0;
    mediaSeeking->GetCurrentPosition(&position);
    return ReferenceTimeToMs(position);
}

int PlaybackGraph::GetStopMs() {
    LONGLONG stop = 0;
    mediaSeeking->GetStopPosition(&stop);
    return ReferenceTimeToMs(stop);
}

bool PlaybackGraph::IsAtEnd() {
    LONGLONG current = 0;
    LONGLONG stop = 0;
    mediaSeeking->GetPositions(&current, &stop);
    return current >= stop;
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
    mediaSeeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

FilterCheckResult PlaybackGraph::CheckFilters() {
    if (!CanCreateFilter(CLSID_Mp3Decoder) || !CanCreateFilter(CLSID_PreferredParser)) return Missing;
    if (!CanCreateFilter(CLSID_MPEG1Splitter) || !CanCreateFilter(CLSID_AsyncReader)) return SystemBroken;
    return Ok;
}
