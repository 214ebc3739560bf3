#include "tests/win/support/test_support.h"

#include <shlwapi.h>
#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD watchIntervalMs = 20;
constexpr int messageBoxTextId = 0xFFFF;  // the static that holds a message box's text
constexpr int fileNameEdit = 0x480;       // edt1 of the old-style file dialogs
constexpr int fileNameCombo = 0x47C;      // cmb13 of the Explorer-style file dialogs

struct Candidate {
    DWORD thread;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM context) {
    auto* candidate = reinterpret_cast<Candidate*>(context);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (wcscmp(className, L"#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window))
        candidate->found->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
    auto* text = reinterpret_cast<std::wstring*>(context);
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") == 0) {
        std::wstring own = WindowText(child);
        if (!own.empty()) {
            if (!text->empty()) *text += L"\n";
            *text += own;
        }
    }
    return TRUE;
}

BOOL CALLBACK FindIconStatic(HWND child, LPARAM context) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(context) = child;
        return FALSE;
    }
    return TRUE;
}

ShownDialog Describe(HWND dialog) {
    ShownDialog shown;
    shown.caption = WindowText(dialog);
    HWND messageText = GetDlgItem(dialog, messageBoxTextId);
    if (messageText) {
        shown.text = WindowText(messageText);
    } else {
        EnumChildWindows(dialog, CollectStaticText, reinterpret_cast<LPARAM>(&shown.text));
    }
    shown.iconStyle = MessageBoxIcon(dialog);
    return shown;
}

void DefaultReply(HWND dialog) {
    int id = GetDlgItem(dialog, IDCANCEL) ? IDCANCEL : IDOK;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

DialogAnswerer::DialogAnswerer() : ownerThread_(GetCurrentThreadId()) {
    watcher_ = std::thread([this] { Watch(); });
}

DialogAnswerer::~DialogAnswerer() {
    stop_ = true;
    watcher_.join();
}

void DialogAnswerer::Queue(Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(reply));
}

std::vector<ShownDialog> DialogAnswerer::Shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

void DialogAnswerer::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    replies_.clear();
}

void DialogAnswerer::Watch() {
    while (!stop_) {
        Sleep(watchIntervalMs);
        std::vector<HWND> found;
        Candidate candidate{ownerThread_, &found};
        EnumThreadWindows(ownerThread_, CollectDialogs, reinterpret_cast<LPARAM>(&candidate));
        for (HWND dialog : found) {
            Reply reply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                bool known = false;
                for (HWND seen : seen_) known = known || seen == dialog;
                if (known) continue;
                // Give the dialog a moment to finish initialising its texts.
                Sleep(watchIntervalMs);
                if (!IsWindow(dialog)) continue;
                seen_.push_back(dialog);
                shown_.push_back(Describe(dialog));
                if (!replies_.empty()) {
                    reply = replies_.front();
                    replies_.erase(replies_.begin());
                }
            }
            if (reply)
                reply(dialog);
            else
                DefaultReply(dialog);
        }
        // Windows that are gone may reuse their handle later.
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<HWND> alive;
        for (HWND seen : seen_)
            if (IsWindow(seen)) alive.push_back(seen);
        seen_.swap(alive);
    }
}

DialogAnswerer::Reply DialogAnswerer::PressButton(int id) {
    return [id](HWND dialog) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    };
}

DialogAnswerer::Reply DialogAnswerer::ChooseFile(const std::wstring& path) {
    return [path](HWND dialog) {
        HWND box = GetDlgItem(dialog, fileNameCombo);
        if (!box) box = GetDlgItem(dialog, fileNameEdit);
        SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    };
}

DialogAnswerer::Reply DialogAnswerer::After(DWORD ms, Reply then) {
    return [ms, then](HWND dialog) {
        Sleep(ms);
        if (IsWindow(dialog)) then(dialog);
    };
}

UINT MessageBoxIcon(HWND box) {
    HWND iconStatic = nullptr;
    EnumChildWindows(box, FindIconStatic, reinterpret_cast<LPARAM>(&iconStatic));
    // The standard icons are shared: the box shows the very handle LoadIcon gives here.
    HICON shown = iconStatic ? reinterpret_cast<HICON>(SendMessageW(iconStatic, STM_GETICON, 0, 0)) : nullptr;
    if (!shown) return 0;
    if (shown == LoadIconW(nullptr, IDI_ERROR)) return MB_ICONERROR;
    if (shown == LoadIconW(nullptr, IDI_QUESTION)) return MB_ICONQUESTION;
    return 0;
}

void PumpMessages(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
    PathRemoveFileSpecW(path);
    return path;
}

std::wstring MakeTempFolder(const wchar_t* prefix) {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        wchar_t folder[MAX_PATH] = {};
        _snwprintf(folder, MAX_PATH - 1, L"%s%s-%lu-%u", base, prefix, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryW(folder, nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return L"";
    }
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(length + 1, L'\0');
    GetWindowTextW(window, &text[0], length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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

void WriteImportSlot(void** slot, void* value) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}
