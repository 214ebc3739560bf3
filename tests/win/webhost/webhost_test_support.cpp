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

}  // namespace

NoMemoryForHostRecord::NoMemoryForHostRecord() {
    slot_ = ImportSlot(GetModuleHandleW(nullptr), "GlobalAlloc");
    if (!slot_) return;
    realGlobalAlloc = reinterpret_cast<GlobalAllocFunction>(*slot_);
    refusedRecords = 0;
    WriteImportSlot(slot_, reinterpret_cast<void*>(GlobalAllocWithoutRecords));
}

NoMemoryForHostRecord::~NoMemoryForHostRecord() {
    if (slot_) WriteImportSlot(slot_, reinterpret_cast<void*>(realGlobalAlloc));
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
