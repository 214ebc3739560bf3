// The cut command: checks the marked stretch, asks for the output file and makes sure it may be
// written, asks for the locating mode, then hands over to the progress dialog.
#include "cut/cut.h"
#include "app/app_state.h"
#include "resource.h"

#include <shlwapi.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const wchar_t mp3Extension[] = L".mp3";
constexpr size_t mp3ExtensionLength = 4;

bool ChooseOutputFile(wchar_t* path) {
    return GetSaveFileNameW(PrepareMp3FileDialog(path, OFN_PATHMUSTEXIST | OFN_HIDEREADONLY)) != 0;
}

// The splitter always writes "<name>.mp3"; any other ending is kept as part of the name.
// False when the longer name no longer fits a path.
bool EnsureMp3Extension(wchar_t* path) {
    if (_wcsicmp(PathFindExtensionW(path), mp3Extension) == 0) return true;
    if (wcslen(path) + mp3ExtensionLength >= pathUnits) return false;
    wcscat(path, mp3Extension);
    return true;
}

bool SameFile(HANDLE first, HANDLE second) {
    BY_HANDLE_FILE_INFORMATION a = {};
    BY_HANDLE_FILE_INFORMATION b = {};
    return GetFileInformationByHandle(first, &a) && GetFileInformationByHandle(second, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

ScopedHandle OpenForIdentity(const wchar_t* path) {
    return ScopedHandle(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The writability test truncates the output, so the loaded file must never be it: neither by
// its name in another letter case nor under another name of the same file (a short 8.3 name,
// a hard link).
bool IsLoadedFile(const wchar_t* path) {
    if (CompareStringOrdinal(path, -1, theApp.currentFile, -1, TRUE) == CSTR_EQUAL) return true;
    ScopedHandle output = OpenForIdentity(path);
    if (!output.Valid()) return false;
    ScopedHandle loaded = OpenForIdentity(theApp.currentFile);
    return loaded.Valid() && SameFile(output.Get(), loaded.Get());
}

bool ConfirmReplace(const wchar_t* path) {
    const UINT buttons = MB_ICONQUESTION | MB_YESNO;
    return ShowFormattedMessage(theApp.mainWindow, buttons, IDS_REPLACE_QUESTION, PathFindFileNameW(path)) == IDYES;
}

void ShowCreateFailed(int error) {
    ShowFormattedMessage(theApp.mainWindow, MB_ICONERROR, IDS_CREATE_FAILED, strerror(error));
}

// Opening the file for writing is the one sure test that it can be written. An existing
// file is opened without truncating it and stays as it is: the splitter replaces it only
// with a whole new file, so a failed cut leaves the user's old file in place.
bool CheckWritable(const wchar_t* path) {
    const bool existed = PathFileExistsW(path) != FALSE;
    FILE* file = _wfopen(path, existed ? L"r+b" : L"wb");
    if (!file) {
        ShowCreateFailed(errno);
        return false;
    }
    fclose(file);
    if (!existed) _wremove(path);
    return true;
}

}  // namespace

void AppState::CutAbPart() {
    if (pointA == unsetPoint || pointB == unsetPoint) return;
    // Paused first, so that even a refused cut leaves the user where the marks were set.
    if (playState == Playing) TogglePlay();
    if (pointB - pointA < minimumCutMs) {
        ShowFormattedMessage(mainWindow, MB_ICONERROR, IDS_GAP_TOO_SHORT, minimumCutMs);
        return;
    }

    wchar_t path[pathUnits] = {};
    if (!ChooseOutputFile(path)) return;
    if (!EnsureMp3Extension(path)) {
        ShowCreateFailed(ENAMETOOLONG);
        return;
    }
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    if (IsLoadedFile(path)) {
        ShowMessage(mainWindow, CachedString(IDS_SELF_OVERWRITE), MB_ICONERROR);
        return;
    }
    if (PathFileExistsW(path) && !ConfirmReplace(path)) return;
    if (!CheckWritable(path)) return;

    DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_CUT_METHOD), mainWindow, CutMethodDialog, 0);
    DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_CUT_PROGRESS), mainWindow, CutProgressDialog,
                    reinterpret_cast<LPARAM>(path));
}
