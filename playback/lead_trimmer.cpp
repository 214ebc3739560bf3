// The trimmer filter itself: identity, states, pins and what both pins share.
#include "playback/lead_trimmer.h"

#include <cwchar>
#include <new>

#include "win32/filter_answers.h"

namespace {

// Not registered anywhere: the graph only reads it back through GetClassID.
// {6F1D2B7A-3C4E-4B8D-9A51-2E7C0D4F8B16}
const CLSID CLSID_LeadTrimmer = {0x6f1d2b7a, 0x3c4e, 0x4b8d, {0x9a, 0x51, 0x2e, 0x7c, 0x0d, 0x4f, 0x8b, 0x16}};
constexpr ULONG pinCount = 2;

class PinEnumerator final : public IEnumPins {
public:
    PinEnumerator(LeadTrimmer& filter, ULONG position) : filter_(filter), position_(position) { filter_.AddRef(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
        if (!result) return E_POINTER;
        *result = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumPins) ? this : nullptr;
        if (!*result) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP Next(ULONG wanted, IPin** pins, ULONG* fetched) override {
        if (!pins || (wanted != 1 && !fetched)) return E_POINTER;
        ULONG count = 0;
        while (count < wanted && position_ < pinCount) {
            IPin* pin = filter_.PinAt(position_++);
            pin->AddRef();
            pins[count++] = pin;
        }
        if (fetched) *fetched = count;
        return count == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override { return SkipWithin(position_, pinCount, count); }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** result) override {
        if (!result) return E_POINTER;
        *result = new (std::nothrow) PinEnumerator(filter_, position_);
        return *result ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~PinEnumerator() { filter_.Release(); }
    LeadTrimmer& filter_;
    ULONG position_;
    LONG refs_ = 1;
};

}  // namespace

ComPtr<IBaseFilter> CreateLeadTrimmer() { return ComPtr<IBaseFilter>(new (std::nothrow) LeadTrimmer()); }

LeadTrimmer::LeadTrimmer() : input(*this), output(*this) { InitializeCriticalSection(&lock); }

LeadTrimmer::~LeadTrimmer() {
    output.Disconnect();
    input.Disconnect();
    clock_.Reset();
    DeleteCriticalSection(&lock);
}

STDMETHODIMP LeadTrimmer::QueryInterface(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    const bool offered = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) ||
                         IsEqualIID(iid, IID_IMediaFilter) || IsEqualIID(iid, IID_IBaseFilter);
    *result = offered ? static_cast<IBaseFilter*>(this) : nullptr;
    if (!offered) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) LeadTrimmer::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) LeadTrimmer::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP LeadTrimmer::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_LeadTrimmer;
    return S_OK;
}

STDMETHODIMP LeadTrimmer::Stop() {
    CriticalSectionLock hold(lock);
    state = State_Stopped;
    output.presented.Pause();
    return S_OK;
}

STDMETHODIMP LeadTrimmer::Pause() {
    CriticalSectionLock hold(lock);
    output.presented.Pause();
    state = State_Paused;
    return S_OK;
}

STDMETHODIMP LeadTrimmer::Run(REFERENCE_TIME start) {
    CriticalSectionLock hold(lock);
    output.presented.Run(clock_, start);
    state = State_Running;
    return S_OK;
}

STDMETHODIMP LeadTrimmer::GetState(DWORD, FILTER_STATE* result) { return Answer(result, state); }

STDMETHODIMP LeadTrimmer::SetSyncSource(IReferenceClock* clock) {
    CriticalSectionLock hold(lock);
    if (clock) clock->AddRef();
    clock_.Reset(clock);
    return S_OK;
}

STDMETHODIMP LeadTrimmer::GetSyncSource(IReferenceClock** clock) {
    CriticalSectionLock hold(lock);
    return AnswerHeld(clock, clock_.Get());
}

IPin* LeadTrimmer::PinAt(ULONG index) {
    if (index == 0) return &input;
    if (index == 1) return &output;
    return nullptr;
}

STDMETHODIMP LeadTrimmer::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    *pins = new (std::nothrow) PinEnumerator(*this, 0);
    return *pins ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP LeadTrimmer::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    for (ULONG i = 0; IPin* candidate = PinAt(i); ++i) {
        LPWSTR candidateId = nullptr;
        const bool same = SUCCEEDED(candidate->QueryId(&candidateId)) && wcscmp(candidateId, id) == 0;
        CoTaskMemFree(candidateId);
        if (same) {
            candidate->AddRef();
            *pin = candidate;
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP LeadTrimmer::QueryFilterInfo(FILTER_INFO* info) {
    CriticalSectionLock hold(lock);
    return AnswerFilterInfo(info, name_, graph_);
}

STDMETHODIMP LeadTrimmer::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CriticalSectionLock hold(lock);
    graph_ = graph;
    KeepFilterName(name_, name);
    return S_OK;
}

STDMETHODIMP LeadTrimmer::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

TrimmerPin::TrimmerPin(LeadTrimmer& filter, PIN_DIRECTION direction, const wchar_t* name)
    : filter_(filter), direction_(direction), name_(name) {}

TrimmerPin::~TrimmerPin() { FreeMediaTypeFields(type_); }

STDMETHODIMP_(ULONG) TrimmerPin::AddRef() { return filter_.AddRef(); }
STDMETHODIMP_(ULONG) TrimmerPin::Release() { return filter_.Release(); }

HRESULT TrimmerPin::SetConnection(IPin* peer, const AM_MEDIA_TYPE& type) {
    AM_MEDIA_TYPE copy;
    if (FAILED(CopyMediaTypeFields(copy, type))) return E_OUTOFMEMORY;
    FreeMediaTypeFields(type_);
    type_ = copy;
    peer->AddRef();
    peer_.Reset(peer);
    return S_OK;
}

STDMETHODIMP TrimmerPin::Disconnect() {
    CriticalSectionLock hold(filter_.lock);
    if (filter_.state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!peer_) return S_FALSE;
    DropConnection();
    peer_.Reset();
    FreeMediaTypeFields(type_);
    return S_OK;
}

STDMETHODIMP TrimmerPin::ConnectedTo(IPin** pin) {
    CriticalSectionLock hold(filter_.lock);
    return AnswerConnectedTo(pin, peer_);
}

STDMETHODIMP TrimmerPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    CriticalSectionLock hold(filter_.lock);
    return AnswerConnectionType(type, peer_ != nullptr, type_);
}

STDMETHODIMP TrimmerPin::QueryPinInfo(PIN_INFO* info) { return AnswerPinInfo(info, &filter_, direction_, name_); }

STDMETHODIMP TrimmerPin::QueryDirection(PIN_DIRECTION* direction) { return Answer(direction, direction_); }

STDMETHODIMP TrimmerPin::QueryId(LPWSTR* id) { return AnswerPinId(id, name_); }

// PCM only: what the decoder gives and the renderer takes, passed on unchanged in format.
STDMETHODIMP TrimmerPin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    const bool pcm = IsEqualGUID(type->majortype, MEDIATYPE_Audio) && IsEqualGUID(type->subtype, MEDIASUBTYPE_PCM) &&
                     IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) && type->pbFormat &&
                     type->cbFormat >= sizeof(WAVEFORMATEX) &&
                     reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat)->nBlockAlign > 0;
    return pcm ? S_OK : S_FALSE;
}

// The pins propose no types of their own: the decoder offers PCM, and the output passes on the
// type the input took.
STDMETHODIMP TrimmerPin::EnumMediaTypes(IEnumMediaTypes**) { return E_NOTIMPL; }

STDMETHODIMP TrimmerPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
