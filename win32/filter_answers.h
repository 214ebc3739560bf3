// What every DirectShow filter of the project answers the same way: media type copies, pin and
// filter identity, and enumerator positions. Header-only and dependent on nothing of the project,
// so that the parser filter (a DLL) and the playback graph's trimmer (in the program) share it.
#pragma once
#include <windows.h>
#include <dshow.h>

#include <cstring>
#include <cwchar>

// Hands `value` out through `out`; E_POINTER when the caller passed no place for it.
template <typename T, typename V>
HRESULT Answer(T* out, const V& value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

// An interface the filter holds, or none, with a reference of the caller's own.
template <typename Interface>
HRESULT AnswerHeld(Interface** out, Interface* held) {
    if (!out) return E_POINTER;
    *out = held;
    if (held) held->AddRef();
    return S_OK;
}

inline void FreeMediaTypeFields(AM_MEDIA_TYPE& type) {
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    // The type's own reference, which goes with the type (DirectShow's FreeMediaType does the same).
    if (type.pUnk) type.pUnk->Release();
    type.pUnk = nullptr;
}

inline HRESULT CopyMediaTypeFields(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source) {
    target = source;
    target.pbFormat = nullptr;
    target.cbFormat = 0;
    if (source.cbFormat && source.pbFormat) {
        target.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        if (!target.pbFormat) {
            target.pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target.pbFormat, source.pbFormat, source.cbFormat);
        target.cbFormat = source.cbFormat;
    }
    if (target.pUnk) target.pUnk->AddRef();
    return S_OK;
}

// IPin::ConnectedTo: the peer with a reference of the caller's own.
inline HRESULT AnswerConnectedTo(IPin** pin, IPin* peer) {
    if (!pin) return E_POINTER;
    *pin = peer;
    if (peer) peer->AddRef();
    return peer ? S_OK : VFW_E_NOT_CONNECTED;
}

// IPin::ConnectionMediaType: a copy of the connection's type.
inline HRESULT AnswerConnectionType(AM_MEDIA_TYPE* type, bool connected, const AM_MEDIA_TYPE& connection) {
    if (!type) return E_POINTER;
    if (connected) return CopyMediaTypeFields(*type, connection);
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
}

inline HRESULT AnswerPinInfo(PIN_INFO* info, IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name) {
    if (!info) return E_POINTER;
    info->pFilter = filter;
    filter->AddRef();
    info->dir = direction;
    wcsncpy(info->achName, name, MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = L'\0';
    return S_OK;
}

// IPin::QueryId: the name, task-allocated.
inline HRESULT AnswerPinId(LPWSTR* id, const wchar_t* name) {
    if (!id) return E_POINTER;
    const size_t bytes = (wcslen(name) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, name, bytes);
    return S_OK;
}

inline HRESULT AnswerFilterInfo(FILTER_INFO* info, const wchar_t* name, IFilterGraph* graph) {
    if (!info) return E_POINTER;
    wcscpy(info->achName, name);
    info->pGraph = graph;
    if (graph) graph->AddRef();
    return S_OK;
}

// IBaseFilter::JoinFilterGraph's name, cut to what FILTER_INFO holds.
inline void KeepFilterName(wchar_t (&kept)[MAX_FILTER_NAME], LPCWSTR name) {
    kept[0] = L'\0';
    if (!name) return;
    wcsncpy(kept, name, MAX_FILTER_NAME - 1);
    kept[MAX_FILTER_NAME - 1] = L'\0';
}

// IEnum*::Skip: moves on by `count`, stopping at the end (S_FALSE when it got there early).
inline HRESULT SkipWithin(ULONG& position, ULONG size, ULONG count) {
    if (count > size - position) {
        position = size;
        return S_FALSE;
    }
    position += count;
    return S_OK;
}
