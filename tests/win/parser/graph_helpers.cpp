#include "graph_helpers.h"

#include <tlhelp32.h>

#include <cstdio>
#include <vector>

#include "mp3/byte_source.h"

namespace parser_test {

namespace {

constexpr DWORD kInproc = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD kEventPollMs = 20;

template <class T>
HRESULT Create(REFCLSID clsid, REFIID iid, T** result) {
    return CoCreateInstance(clsid, nullptr, kInproc, iid, reinterpret_cast<void**>(result));
}

HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
    IPin* out = FindPin(from, PINDIR_OUTPUT);
    IPin* in = FindPin(to, PINDIR_INPUT);
    HRESULT hr = out && in ? graph->ConnectDirect(out, in, nullptr) : VFW_E_NOT_FOUND;
    SafeRelease(out);
    SafeRelease(in);
    return hr;
}

}  // namespace

bool IndexFixture(const char* name, mp3::FrameIndex& index) { return IndexPath(WinePath(FixturePath(name)), index); }

bool IndexPath(const std::wstring& path, mp3::FrameIndex& index) {
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    mp3::FileSource source(file);
    mp3::IndexResult result = mp3::BuildFrameIndex(source);
    std::fclose(file);
    if (!result.ok()) return false;
    index = std::move(result.index);
    return true;
}

LONGLONG FrameUnits(const mp3::FrameIndex& index) { return index.FrameStartUnits(1) - index.FrameStartUnits(0); }

IBaseFilter* FindDirectSoundRenderer() {
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return nullptr;
    IEnumMoniker* monikers = nullptr;
    IBaseFilter* found = nullptr;
    if (devices->CreateClassEnumerator(CLSID_AudioRendererCategory, &monikers, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        while (!found && monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                VARIANT name;
                VariantInit(&name);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                    lstrcmpiW(name.bstrVal, L"Default DirectSound Device") == 0)
                    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&found));
                VariantClear(&name);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    }
    devices->Release();
    return found;
}

IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* pin = nullptr;
    IPin* found = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            found = pin;
        } else {
            pin->Release();
        }
    }
    pins->Release();
    return found;
}

HRESULT TestGraph::Create(const std::wstring& path) {
    HRESULT hr = parser_test::Create(CLSID_FilterGraph, IID_IGraphBuilder, &graph);
    if (FAILED(hr)) return hr;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
    if (FAILED(hr = parser_test::Create(CLSID_AsyncReader, IID_IBaseFilter, &source))) return hr;
    if (FAILED(hr = parser_test::Create(kParserClsid, IID_IBaseFilter, &parser))) return hr;
    IFileSourceFilter* file = nullptr;
    if (FAILED(hr = source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&file)))) return hr;
    hr = file->Load(path.c_str(), nullptr);
    file->Release();
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph->AddFilter(source, L"source"))) return hr;
    return graph->AddFilter(parser, L"mp3Parser");
}

HRESULT TestGraph::ConnectSource() { return ConnectFilters(graph, source, parser); }

HRESULT TestGraph::ConnectPlayback() {
    HRESULT hr = parser_test::Create(kMp3DecoderClsid, IID_IBaseFilter, &decoder);
    if (FAILED(hr)) return hr;
    renderer = FindDirectSoundRenderer();
    if (!renderer) return VFW_E_NO_AUDIO_HARDWARE;
    if (FAILED(hr = graph->AddFilter(decoder, L"decoder"))) return hr;
    if (FAILED(hr = graph->AddFilter(renderer, L"renderer"))) return hr;
    if (FAILED(hr = ConnectFilters(graph, parser, decoder))) return hr;
    return ConnectFilters(graph, decoder, renderer);
}

HRESULT TestGraph::Build(const std::wstring& path) {
    HRESULT hr = Create(path);
    if (SUCCEEDED(hr)) hr = ConnectSource();
    if (SUCCEEDED(hr)) hr = ConnectPlayback();
    return hr;
}

IMediaSeeking* TestGraph::ParserSeeking() {
    IPin* out = FindPin(parser, PINDIR_OUTPUT);
    IMediaSeeking* result = nullptr;
    if (out) out->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&result));
    SafeRelease(out);
    return result;
}

bool TestGraph::WaitForEvent(long code, DWORD timeoutMs) {
    const DWORD began = GetTickCount();
    for (;;) {
        long event = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (events->GetEvent(&event, &param1, &param2, 0) == S_OK) {
            events->FreeEventParams(event, param1, param2);
            if (event == code) return true;
        }
        if (GetTickCount() - began > timeoutMs) return false;
        // The graph posts to this apartment's message queue; keep it pumped.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(kEventPollMs);
    }
}

LONGLONG TestGraph::PositionMs() {
    LONGLONG position = 0;
    if (seeking) seeking->GetCurrentPosition(&position);
    return position / 10000;
}

void TestGraph::TearDown(bool stopFirst) {
    if (control && stopFirst) control->Stop();
    if (graph) {
        for (IBaseFilter* filter : {source, parser, decoder, renderer})
            if (filter) graph->RemoveFilter(filter);
    }
    SafeRelease(source);
    SafeRelease(parser);
    SafeRelease(decoder);
    SafeRelease(renderer);
    SafeRelease(events);
    SafeRelease(seeking);
    SafeRelease(control);
    SafeRelease(graph);
}

DWORD ProcessThreadCount() {
    const DWORD process = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == process) ++count;
    CloseHandle(snapshot);
    return count;
}

namespace {

// The system handle table (NtQuerySystemInformation class 16), one entry per open handle.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    ULONG ownerProcess;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};

struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

DWORD CountHandlesInSystemTable() {
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kStatusInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status < 0) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const DWORD self = GetCurrentProcessId();
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].ownerProcess == self) ++count;
    return count;
}

}  // namespace

// Wine answers GetProcessHandleCount with 0, so the system handle table is counted there.
DWORD ProcessHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    return CountHandlesInSystemTable();
}

}  // namespace parser_test
