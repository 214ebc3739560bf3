// The user's four settings in options.ini inside the per-user data folder.
#include "app/app_state.h"
#include "logic/control_values.h"
#include "resource.h"
#include "settings/data_folder.h"

#include <shlwapi.h>
#include <share.h>
#include <stdio.h>
#include <errno.h>
#include <string.h>
#include <wchar.h>
#include <algorithm>

namespace {

constexpr wchar_t dataFolderName[] = L"Clipvane";
constexpr wchar_t settingsFileName[] = L"options.ini";
constexpr wchar_t section[] = L"options";
constexpr wchar_t muteKey[] = L"bMute";
constexpr wchar_t volumeKey[] = L"volume";
constexpr wchar_t jumpKey[] = L"eachJump";
constexpr wchar_t fineTuningKey[] = L"fineTuning";

// The file stores the volume shifted into 0..10000 so that it is never negative.
constexpr int volumeOffset = 10000;
constexpr int defaultMute = 0;
constexpr int defaultStoredVolume = 9500;
constexpr int defaultVolume = defaultStoredVolume - volumeOffset;

// A settings file this large cannot be one this program wrote; it is treated as damaged.
constexpr ULONGLONG damagedFileBytes = 1024 * 1024;
constexpr int numberUnits = 16;

void BuildDataFolderPath(wchar_t* path) {
    wchar_t roaming[pathUnits] = {};
    GetRoamingFolder(theApp.osMajorVersion, roaming);
    PathCombineW(path, roaming, dataFolderName);
}

void BuildSettingsFilePath(wchar_t* path) {
    wchar_t dataFolder[pathUnits] = {};
    BuildDataFolderPath(dataFolder);
    PathCombineW(path, dataFolder, settingsFileName);
}

bool IsExistingFile(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ULONGLONG FileSize(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path, GetFileExInfoStandard, &data);
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void DeleteDamagedFile(const wchar_t* path) {
    if (FileSize(path) < damagedFileBytes) return;
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path);
}

// Opens the file with the runtime as the rest of the program's file access does, closes it at
// once, and returns the runtime's error number (0 on success). Paths are UTF-16 throughout, so a
// user name outside the ANSI code page still finds its file.
int TryOpen(const wchar_t* path, const wchar_t* mode) {
    FILE* file = _wfsopen(path, mode, _SH_DENYNO);
    if (!file) return errno ? errno : EACCES;
    fclose(file);
    return 0;
}

int ReadSetting(const wchar_t* key, int fallback, const wchar_t* path) {
    return static_cast<int>(GetPrivateProfileIntW(section, key, fallback, path));
}

void WriteSetting(const wchar_t* key, unsigned value, const wchar_t* path) {
    wchar_t text[numberUnits] = {};
    _snwprintf(text, numberUnits - 1, L"%u", value);
    WritePrivateProfileStringW(section, key, text, path);
}

// One of the size dialogs' steps; a value outside the dialog's range is brought to the nearer
// bound (0 too: here it does not ask for the default, as it does in the dialog).
int ReadStep(const wchar_t* key, StepRange range, const wchar_t* path) {
    int stored = ReadSetting(key, static_cast<int>(range.fallback), path);
    return std::clamp(stored, static_cast<int>(range.lower), static_cast<int>(range.upper));
}

// The stored value is shifted back; anything outside the renderer's range means the file was
// edited by hand, and the default volume is safer than an extreme one.
int VolumeFromStored(int stored) {
    long long volume = static_cast<long long>(stored) - volumeOffset;
    if (volume > fullVolume || volume < silentVolume) return defaultVolume;
    return static_cast<int>(volume);
}

}  // namespace

void AppState::LoadSettings(HWND owner) {
    wchar_t path[pathUnits] = {};
    BuildSettingsFilePath(path);
    // Drops the platform's cached copy, so the file is read as it lies on disk now.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path);
    DeleteDamagedFile(path);

    int error = TryOpen(path, L"rb");
    if (error != 0 && IsExistingFile(path))
        ShowFormattedMessage(owner, MB_ICONERROR, IDS_READ_FAILED, path, strerror(error));

    bMute = ReadSetting(muteKey, defaultMute, path);
    volume = VolumeFromStored(ReadSetting(volumeKey, defaultStoredVolume, path));
    eachJump = ReadStep(jumpKey, jumpSecondsRange, path);
    fineTuning = ReadStep(fineTuningKey, fineTuningMsRange, path);
}

void AppState::SaveSettings(HWND owner) {
    wchar_t dataFolder[pathUnits] = {};
    BuildDataFolderPath(dataFolder);
    if (!PathIsDirectoryW(dataFolder)) {
        SetFileAttributesW(dataFolder, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(dataFolder);
    }

    wchar_t path[pathUnits] = {};
    BuildSettingsFilePath(path);
    if (PathIsDirectoryW(path)) {
        DeleteTree(path);
    } else {
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    }
    CreateDirectoryChain(path, FALSE);

    // Emptying the file first drops anything this program does not write.
    int error = TryOpen(path, L"wb");
    if (error != 0) ShowFormattedMessage(owner, MB_ICONERROR, IDS_WRITE_FAILED, path, strerror(error));

    WriteSetting(muteKey, static_cast<unsigned>(bMute), path);
    WriteSetting(volumeKey, static_cast<unsigned>(volume + volumeOffset), path);
    WriteSetting(jumpKey, static_cast<unsigned>(eachJump), path);
    WriteSetting(fineTuningKey, static_cast<unsigned>(fineTuning), path);
}
