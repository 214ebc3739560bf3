// Where the user's data lives, and creating and removing directories for it.
#include "settings/data_folder.h"

#include <shlwapi.h>
#include <wchar.h>

namespace {

constexpr int folderUnits = 260;
constexpr DWORD queryUnits = folderUnits - 1;

// Without USERPROFILE the profile is assumed to sit where the system's own installer puts it.
constexpr wchar_t modernProfileFormat[] = L"%c:\\Users\\%s\\AppData\\Roaming";
constexpr wchar_t modernRoamingTail[] = L"AppData\\Roaming";
constexpr wchar_t legacyProfileFormat[] = L"%c:\\Documents and Settings\\%s\\Application Data";
constexpr wchar_t legacyRoamingTail[] = L"Application Data";
constexpr DWORD lastLegacyMajorVersion = 5;

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

// A junction or directory symlink inside the tree is removed as a link: following it would delete
// whatever it points at, which lies outside the tree being removed.
bool IsLinkedDirectory(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

wchar_t* GetRoamingFolder(DWORD osMajorVersion, wchar_t* folder) {
    wchar_t systemFolder[folderUnits] = {};
    wchar_t userName[folderUnits] = {};
    wchar_t userProfile[folderUnits] = {};
    DWORD userNameUnits = queryUnits;
    GetSystemDirectoryW(systemFolder, queryUnits);
    GetUserNameW(userName, &userNameUnits);
    GetEnvironmentVariableW(L"USERPROFILE", userProfile, queryUnits);

    const bool modern = osMajorVersion > lastLegacyMajorVersion;
    if (userProfile[0] != L'\0') {
        PathCombineW(folder, userProfile, modern ? modernRoamingTail : legacyRoamingTail);
    } else {
        folder[folderUnits - 1] = L'\0';
        _snwprintf(folder, folderUnits - 1, modern ? modernProfileFormat : legacyProfileFormat, systemFolder[0],
                   userName);
    }
    return folder;
}

void CreateDirectoryChain(const wchar_t* path, BOOL includeLast) {
    const size_t length = wcslen(path);
    for (size_t i = 0; i < length && i < folderUnits; ++i) {
        if (!IsSeparator(path[i])) continue;
        wchar_t prefix[folderUnits] = {};
        wmemcpy(prefix, path, i);
        CreateDirectoryW(prefix, nullptr);
    }
    if (includeLast) CreateDirectoryW(path, nullptr);
}

void DeleteTree(const wchar_t* directory) {
    wchar_t pattern[folderUnits] = {};
    PathCombineW(pattern, directory, L"*.*");
    WIN32_FIND_DATAW entry = {};
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        wchar_t child[folderUnits] = {};
        PathCombineW(child, directory, entry.cFileName);
        if (IsLinkedDirectory(entry)) {
            RemoveDirectoryW(child);
        } else if (PathIsDirectoryW(child)) {
            DeleteTree(child);
        } else {
            SetFileAttributesW(child, FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(child);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    // A read-only directory would refuse removal and leave the tree in place.
    SetFileAttributesW(directory, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(directory);
}
