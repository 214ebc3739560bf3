#include "tests/win/settings/settings_test_helpers.h"

#include "settings/data_folder.h"
#include "tests/win/support/test_support.h"

#include <shlwapi.h>

namespace {

constexpr wchar_t profileVariable[] = L"USERPROFILE";
constexpr int messageBoxTextId = 0xFFFF;

struct WindowQuery {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectProcessWindows(HWND window, LPARAM context) {
    auto* query = reinterpret_cast<WindowQuery*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != query->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, query->className) == 0) query->found->push_back(window);
    return TRUE;
}

}  // namespace

const char defaultSettingsFile[] = "[options]\r\nbMute=0\r\nvolume=9500\r\neachJump=3\r\nfineTuning=200\r\n";

ScopedVariable::ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t previous[MAX_PATH] = {};
    hadPrevious_ = GetEnvironmentVariableW(name, previous, MAX_PATH) > 0;
    previous_ = previous;
    SetEnvironmentVariableW(name, value);
}

ScopedVariable::~ScopedVariable() {
    SetEnvironmentVariableW(name_.c_str(), hadPrevious_ ? previous_.c_str() : nullptr);
}

namespace {

std::wstring NewProfileFolder(const std::wstring& profile, bool* created) {
    if (profile.empty()) {
        std::wstring folder = MakeTempFolder(L"profile");
        *created = !folder.empty();
        return folder;
    }
    *created = CreateDirectoryW(profile.c_str(), nullptr) != 0;
    return profile;
}

}  // namespace

ScopedUserProfile::ScopedUserProfile(const std::wstring& profile)
    : folder_(NewProfileFolder(profile, &created_)), variable_(profileVariable, folder_.c_str()) {}

ScopedUserProfile::~ScopedUserProfile() {
    if (created_) DeleteTree(folder_.c_str());
}

std::wstring ScopedUserProfile::DataFolder() const { return folder_ + L"\\AppData\\Roaming\\Clipvane"; }

std::wstring ScopedUserProfile::SettingsFile() const { return DataFolder() + L"\\options.ini"; }

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) { return folder + L"\\" + name; }

std::vector<std::wstring> CopyFiles(const std::wstring& from, const std::wstring& to,
                                    const std::vector<std::wstring>& names) {
    std::vector<std::wstring> failed;
    for (const std::wstring& name : names)
        if (!CopyFileW(Join(from, name).c_str(), Join(to, name).c_str(), FALSE)) failed.push_back(name);
    return failed;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry = {};
    HANDLE search = FindFirstFileW(Join(folder, L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

ChildProcess::~ChildProcess() {
    if (!info_.hProcess) return;
    if (Running()) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != 0;
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(info_.hProcess, exitCode);
    return true;
}

bool ChildProcess::Running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className) {
    std::vector<HWND> found;
    WindowQuery query{processId, className, &found};
    EnumWindows(CollectProcessWindows, reinterpret_cast<LPARAM>(&query));
    return found;
}

std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, messageBoxTextId)); }

void PressDialogButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
