// Files dropped on the main window: the first one opens when it is an MP3, anything else only
// plays the reject chord on a worker so the window never waits for the sound.
#include "app/app_state.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace {
constexpr DWORD maxChordBytes = 1024 * 1024;
}

void AppState::OnDropFiles(HDROP drop) {
    wchar_t path[pathUnits] = {};
    DragQueryFileW(drop, 0, path, pathUnits - 1);
    DragFinish(drop);
    if (lstrcmpiW(PathFindExtensionW(path), L".mp3") == 0) {
        OpenFile(path);
        return;
    }
    // The worker is never waited for; its handle is not needed.
    ScopedHandle(CreateThread(nullptr, 0, PlayRejectSound, nullptr, 0, nullptr));
}

DWORD WINAPI PlayRejectSound(LPVOID) {
    wchar_t path[pathUnits] = {};
    ProgramFolderFile(L"chord.wav", path);
    if (!PathFileExistsW(path)) return 0;
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    GetFileAttributesExW(path, GetFileExInfoStandard, &attributes);
    if (attributes.nFileSizeHigh != 0 || attributes.nFileSizeLow == 0 || attributes.nFileSizeLow >= maxChordBytes)
        return 0;
    sndPlaySoundW(path, 0);
    return 1;
}
