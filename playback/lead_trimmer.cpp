// The trimmer filter itself: identity, states, pins and what both pins share.
#include "playback/lead_trimmer.h"

#include <cwchar>
#include <new>

namespace {

// Not registered anywhere: the graph only reads it back through GetClassID.
// {6F1D2B7A-3C4E-4B8D-9A51-2E7C0D4F8B16}
const CLSID CLSID_LeadTrimmer = {0x6f1d2b7a, 0x3c4e, 0x4b8d, {0x9a, 0x51, 0x2e, 0x7c, 0x0d, 0x4f, 0x8b, 0x16}};
constexpr ULONG pinCount = 2;

void FreeTypeFields(AM_MEDIA_TYPE& type) {
    CoTaskMemFree(type.pbFormat);
    if (type.pUnk) type.pUnk->Release();
    type = AM_MEDIA_TYPE{};
}

HRESULT CopyTypeFields(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source) {
    target = source;
    if (source.cbFormat) {
        target.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        if (!target.pbFormat) {
            target = AM_MEDIA_TYPE{};
            return E_OUTOFMEMORY;
        }
        memcpy(target.pbFormat, source.pbFormat, source.cbFormat);
    } else {
        target.pbFormat = nullptr;
    }
    if (target.pUnk) target.pUnk->AddRef();
    return S_OK;
}

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
    STDMETHODIMP Skip(ULONG count) override {
        if (count > pinCount - position_) {
            position_ = pinCount;
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
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

STDMETHODIMP LeadTrimmer::GetState(DWORD, FILTER_STATE* result) {
    if (!result) return E_POINTER;
    *result = state;
    return S_OK;
}

STDMETHODIMP LeadTrimmer::SetSyncSource(IReferenceClock* clock) {
    CriticalSectionLock hold(lock);
    if (clock) clock->AddRef();
    clock_.Reset(clock);
    return S_OK;
}

STDMETHODIMP LeadTrimmer::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CriticalSectionLock hold(lock);
    *clock = clock_;
    if (clock_) clock_->AddRef();
    return S_OK;
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
    if (!info) return E_POINTER;
    CriticalSectionLock hold(lock);
    wcscpy(info->achName, name_);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

STDMETHODIMP LeadTrimmer::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CriticalSectionLock hold(lock);
    graph_ = graph;
    name_[0] = L'\0';
    if (name) {
        wcsncpy(name_, name, MAX_FILTER_NAME - 1);
        name_[MAX_FILTER_NAME - 1] = L'\0';
    }
    return S_OK;
}

STDMETHODIMP LeadTrimmer::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

TrimmerPin::TrimmerPin(LeadTrimmer& filter, PIN_DIRECTION direction, const wchar_t* name)
    : filter_(filter), direction_(direction), name_(name) {}

TrimmerPin::~TrimmerPin() { FreeTypeFields(type_); }

STDMETHODIMP_(ULONG) TrimmerPin::AddRef() { return filter_.AddRef(); }
STDMETHODIMP_(ULONG) TrimmerPin::Release() { return filter_.Release(); }

HRESULT TrimmerPin::SetConnection(IPin* peer, const AM_MEDIA_TYPE& type) {
    AM_MEDIA_TYPE copy;
    if (FAILED(CopyTypeFields(copy, type))) return E_OUTOFMEMORY;
    FreeTypeFields(type_);
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
    FreeTypeFields(type_);
    return S_OK;
}

STDMETHODIMP TrimmerPin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    CriticalSectionLock hold(filter_.lock);
    *pin = peer_;
    if (peer_) peer_->AddRef();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP TrimmerPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CriticalSectionLock hold(filter_.lock);
    if (peer_) return CopyTypeFields(*type, type_);
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
}

STDMETHODIMP TrimmerPin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = &filter_;
    filter_.AddRef();
    info->dir = direction_;
    wcsncpy(info->achName, name_, MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = L'\0';
    return S_OK;
}

STDMETHODIMP TrimmerPin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

STDMETHODIMP TrimmerPin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    const size_t bytes = (wcslen(name_) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    memcpy(*id, name_, bytes);
    return S_OK;
}

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
