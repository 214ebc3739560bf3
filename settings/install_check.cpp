// Start-up check that the files the tools need lie in the program's folder.
#include "app/app_state.h"
#include "settings/companion_files.h"

#include <shlwapi.h>

// Presence only: nothing here is loaded, and a directory bearing a name counts as present.
BOOL AppState::CheckInstall() {
    wchar_t folder[pathUnits] = {};
    GetModuleFileNameW(hInstance, folder, pathUnits - 1);
    PathRemoveFileSpecW(folder);
    for (const wchar_t* name : companionFiles) {
        wchar_t path[pathUnits] = {};
        PathCombineW(path, folder, name);
        if (!PathFileExistsW(path)) return FALSE;
    }
    return TRUE;
}
