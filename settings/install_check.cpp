// Start-up check that the files the tools need lie in the program's folder.
#include "app/app_state.h"
#include "settings/companion_files.h"

#include <shlwapi.h>

// Presence only: nothing here is loaded, and a directory bearing a name counts as present.
BOOL AppState::CheckInstall() {
    for (const wchar_t* name : companionFiles) {
        wchar_t path[pathUnits] = {};
        ProgramFolderFile(name, path);
        if (!PathFileExistsW(path)) return FALSE;
    }
    return TRUE;
}
