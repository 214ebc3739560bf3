#include "tests/win/webhost/webhost_test_support.h"

#include "app/app_state.h"
#include "tests/win/support/test_support.h"
#include "webhost/browser_host.h"
#include "webhost/browser_host_record.h"

#include <cstring>

namespace {

LRESULT CALLBACK PanelStandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) PlaceBrowserWindow(theApp.browserWindow, LOWORD(lParam), HIWORD(lParam));
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<std::pair<HWND, std::wstring>*>(context);
    if (window == found->first || !IsWindowVisible(window)) return TRUE;
    wchar_t className[128] = {};
    GetClassNameW(window, className, 128);
    found->second += std::wstring(className) + L": " + WindowText(window) + L"\n";
    return TRUE;
}

using GlobalAllocFunction = HGLOBAL(WINAPI*)(UINT, SIZE_T);
GlobalAllocFunction realGlobalAlloc = nullptr;
int refusedRecords = 0;

HGLOBAL WINAPI GlobalAllocWithoutRecords(UINT flags, SIZE_T bytes) {
    if (flags == GMEM_FIXED && bytes == sizeof(BrowserHost)) {
        refusedRecords++;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return realGlobalAlloc(flags, bytes);
}

// The import address table entry through which this program's code calls `function`.
void** ImportSlot(HMODULE module, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); library->Name;
         library++) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

}  // namespace

NoMemoryForHostRecord::NoMemoryForHostRecord() {
    slot_ = ImportSlot(GetModuleHandleW(nullptr), "GlobalAlloc");
    if (!slot_) return;
    realGlobalAlloc = reinterpret_cast<GlobalAllocFunction>(*slot_);
    refusedRecords = 0;
    WriteSlot(slot_, reinterpret_cast<void*>(GlobalAllocWithoutRecords));
}

NoMemoryForHostRecord::~NoMemoryForHostRecord() {
    if (slot_) WriteSlot(slot_, reinterpret_cast<void*>(realGlobalAlloc));
}

int NoMemoryForHostRecord::Refused() const { return refusedRecords; }

HWND CreatePanelStandIn(HWND parent) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = PanelStandInProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WebhostTestPanel";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"WebhostTestPanel", nullptr, parent ? WS_CHILD | WS_VISIBLE : WS_POPUP, 0, 0, 720, 98,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

RecordingBrowserScope::RecordingBrowserScope() {
    std::wstring manifest = ProgramFolder() + L"\\recording_browser.manifest";
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.lpSource = manifest.c_str();
    context_ = CreateActCtxW(&request);
    if (context_ != INVALID_HANDLE_VALUE && !ActivateActCtx(context_, &cookie_)) cookie_ = 0;
}

RecordingBrowserScope::~RecordingBrowserScope() {
    if (cookie_) DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
}

std::wstring OtherVisibleWindows(HWND except) {
    std::pair<HWND, std::wstring> found{except, L""};
    EnumThreadWindows(GetCurrentThreadId(), CollectVisible, reinterpret_cast<LPARAM>(&found));
    return found.second;
}
