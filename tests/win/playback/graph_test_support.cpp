#include "tests/win/playback/graph_test_support.h"

#include <tlhelp32.h>
#include <cstdio>
#include <vector>

#include "mp3/mp3.h"
#include "tests/win/support/test_support.h"

namespace {

constexpr DWORD statePollMs = 20;
constexpr ULONG systemHandleInformation = 16;
constexpr LONG statusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// SYSTEM_HANDLE_TABLE_ENTRY_INFO as NtQuerySystemInformation fills it.
struct HandleEntry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    void* object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

int CountHandlesInSystemTable() {
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(systemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           statusInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status < 0) return -1;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    DWORD self = GetCurrentProcessId();
    int count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].processId == self) ++count;
    return count;
}

}  // namespace

std::optional<CountedLength> CountLength(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return std::nullopt;
    mp3::FileSource source(file);
    mp3::IndexResult result = mp3::BuildFrameIndex(source);
    fclose(file);
    if (!result.ok() || result.index.FrameCount() == 0) return std::nullopt;
    const mp3::FrameIndex& index = result.index;
    CountedLength length;
    length.frames = index.FrameCount();
    length.framesMs = index.DurationMs();
    length.frameMs = (index.SamplesPerFrame() * 1000 + index.SampleRate() - 1) / index.SampleRate();
    const auto& info = index.Layout().info;
    if (info && info->lame) {
        int64_t audibleSamples = index.TotalSamples() - info->lame->encoderDelay - info->lame->encoderPadding;
        if (audibleSamples > 0) length.audibleMs = mp3::SamplesToMs(audibleSamples, index.SampleRate());
    }
    return length;
}

bool WaitForGraphState(PlaybackGraph& graph, OAFilterState state, DWORD timeoutMs) {
    return PumpUntil(
        [&] {
            OAFilterState current = -1;
            HRESULT hr = graph.mediaControl->GetState(0, &current);
            return hr == S_OK && current == state;
        },
        timeoutMs);
}

int ProcessThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    DWORD self = GetCurrentProcessId();
    if (Thread32First(snapshot, &entry)) {
        do {
            if (entry.th32OwnerProcessID == self) ++count;
        } while (Thread32Next(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return count;
}

int ProcessHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return static_cast<int>(count);
    return CountHandlesInSystemTable();
}

HangGuard::HangGuard(std::wstring what, DWORD timeoutMs)
    : what_(std::move(what)), timeoutMs_(timeoutMs), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

HangGuard::~HangGuard() {
    SetEvent(done_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(done_);
}

DWORD WINAPI HangGuard::Watch(void* self) {
    auto* guard = static_cast<HangGuard*>(self);
    if (WaitForSingleObject(guard->done_, guard->timeoutMs_) == WAIT_OBJECT_0) return 0;
    fwprintf(stderr, L"HANG: %ls did not finish within %lu ms\n", guard->what_.c_str(), guard->timeoutMs_);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

const wchar_t* KindName(SplitterKind kind) { return kind == PreferredParser ? L"PreferredParser" : L"Mpeg1Splitter"; }
