// Shared pieces of the settings, install-check and program-folder tests: a private user profile,
// whole-file reads and writes, and child processes with their top-level windows.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// Sets (or, given nullptr, removes) an environment variable for the lifetime of the object.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value);
    ~ScopedVariable();

private:
    std::wstring name_;
    std::wstring previous_;
    bool hadPrevious_ = false;
};

// Points USERPROFILE at a fresh temporary folder (or at a new folder `profile`) for the lifetime
// of the object and restores the previous value afterwards; the folder it created is removed.
class ScopedUserProfile {
public:
    explicit ScopedUserProfile(const std::wstring& profile = L"");
    ~ScopedUserProfile();
    const std::wstring& Folder() const { return folder_; }
    std::wstring DataFolder() const;    // <profile>\AppData\Roaming\Clipvane
    std::wstring SettingsFile() const;  // <data folder>\options.ini

private:
    std::wstring folder_;
    bool created_ = false;
    ScopedVariable variable_;
};

std::string ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool IsDirectory(const std::wstring& path);
std::wstring Join(const std::wstring& folder, const std::wstring& name);
// Copies `names` from `from` into `to`; returns the names that could not be copied.
std::vector<std::wstring> CopyFiles(const std::wstring& from, const std::wstring& to,
                                    const std::vector<std::wstring>& names);
// Every file name in a folder (no subfolders), as the file system spells them.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// The settings file as the program writes it with the default settings.
extern const char defaultSettingsFile[];

// A child process started with CreateProcessW; it is ended (by its handle) if still running
// when the object goes away.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    bool Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder);
    // Waits for the end; returns false on timeout. `exitCode` receives the exit status.
    bool Wait(DWORD timeoutMs, DWORD* exitCode);
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    bool Running() const;

private:
    PROCESS_INFORMATION info_ = {};
};

// Visible top-level windows of process `processId` whose class is `className`.
std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className);
// The text of a message box (its text static) and its caption.
std::wstring MessageBoxText(HWND box);
// Presses a dialog's button as a click would.
void PressDialogButton(HWND dialog, int id);
// The standard icon a message box shows: MB_ICONERROR, MB_ICONQUESTION, or 0.
