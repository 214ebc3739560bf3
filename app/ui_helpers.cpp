// Small helpers shared by the main window, the transport, the open and cut commands.
#include "app/app_state.h"
#include "resource.h"

#include <commctrl.h>
#include <dshow.h>
#include <shlwapi.h>
#include <cstdarg>
#include <cstdio>

int ShowMessage(HWND owner, const wchar_t* text, UINT flags) {
    return MessageBoxW(owner, text, CachedString(IDS_CAPTION), flags);
}

int ShowFormattedMessage(HWND owner, UINT flags, UINT formatId, ...) {
    wchar_t message[messageUnits] = {};
    va_list arguments;
    va_start(arguments, formatId);
    _vsnwprintf(message, messageUnits - 1, CachedString(formatId), arguments);
    va_end(arguments);
    return ShowMessage(owner, message, flags);
}

void ShowHresultError(UINT formatId, HRESULT hr) {
    wchar_t text[errorTextUnits] = {};
    AMGetErrorTextW(hr, text, errorTextUnits - 1);
    ShowFormattedMessage(theApp.mainWindow, MB_ICONERROR, formatId, text);
}

void ProgramFolderFile(const wchar_t* name, wchar_t* path) {
    wchar_t folder[pathUnits] = {};
    GetModuleFileNameW(nullptr, folder, pathUnits - 1);
    PathRemoveFileSpecW(folder);
    PathCombineW(path, folder, name);
}

OPENFILENAMEW* PrepareMp3FileDialog(wchar_t* path, DWORD flags) {
    OPENFILENAMEW& dialog = theApp.openFileName;
    ZeroMemory(&dialog, sizeof(dialog));
    dialog.lStructSize = sizeof(OPENFILENAMEW);  // 88
    dialog.hwndOwner = theApp.mainWindow;
    dialog.lpstrFile = path;
    dialog.nMaxFile = pathUnits;
    dialog.lpstrFilter = L"MP3 files\0*.mp3\0";
    dialog.lpstrDefExt = L"mp3";
    dialog.Flags = flags;
    return &dialog;
}

void SetStatusText(int part, const wchar_t* text) {
    SendMessageW(theApp.statusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text));
}
