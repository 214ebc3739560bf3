// Loading a file into a new graph (with one repair attempt between two tries), and unloading it.
#include "app/app_state.h"
#include "logic/control_values.h"
#include "playback/playback_graph.h"
#include "resource.h"

#include <shlwapi.h>
#include <cstdio>

namespace {

constexpr int commandLineUnits = 1024;

bool ChooseFileToOpen(wchar_t* path) {
    return GetOpenFileNameW(PrepareMp3FileDialog(path, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) != 0;
}

// Clears read-only, hidden and system flags before every load, so that the repair tool (and a
// later cut) may write beside and over the file. Paths too long for a ".bak" name skip the backup.
void ResetAttributes(const wchar_t* path) {
    wchar_t backup[pathUnits] = {};
    if (wcslen(path) + 4 < pathUnits) {
        _snwprintf(backup, pathUnits - 1, L"%s.bak", path);
        SetFileAttributesW(backup, FILE_ATTRIBUTE_NORMAL);
    }
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
}

bool AudioRendererPresent() {
    if (FindAudioRenderer()) return true;
    wchar_t message[messageUnits] = {};
    AMGetErrorTextW(VFW_E_NO_AUDIO_HARDWARE, message, messageUnits - 1);
    ShowMessage(theApp.mainWindow, message, MB_ICONERROR);
    return false;
}

// Builds the graph with our parser and then with the system's splitter; the last HRESULT is kept.
bool TryBothSplitters(const wchar_t* path, HRESULT& lastResult) {
    theApp.graph = std::make_unique<PlaybackGraph>(theApp.mainWindow, graphEventMessage);
    if (theApp.graph->Open(path, PreferredParser) >= 0) return true;
    lastResult = theApp.graph->Open(path, Mpeg1Splitter);
    return lastResult >= 0;
}

void DiscardGraph() {
    theApp.graph->Close();
    theApp.graph.reset();
}

void RunRepairTool(const wchar_t* path) {
    wchar_t toolPath[pathUnits] = {};
    wchar_t commandLine[commandLineUnits] = {};
    ProgramFolderFile(L"mp3val.exe", toolPath);
    _snwprintf(commandLine, commandLineUnits - 1, L"\"%s\" -f \"%s\"", toolPath, path);
    DialogBoxParamW(theApp.hInstance, MAKEINTRESOURCEW(IDD_REPAIR), theApp.mainWindow, RepairDialog,
                    reinterpret_cast<LPARAM>(commandLine));
}

void ShowLoadedTitle() {
    wchar_t name[pathUnits] = {};
    wchar_t title[pathUnits + 64] = {};
    lstrcpynW(name, PathFindFileNameW(theApp.currentFile), pathUnits);
    PathRemoveExtensionW(name);
    _snwprintf(title, pathUnits + 63, L"%s - %s", name, CachedString(IDS_CAPTION));
    SetWindowTextW(theApp.mainWindow, title);
}

// A message arriving inside a modal loop (the update check's "obsolete version") may have ended
// the program: nothing may be built then, as OLE is uninitialised once the loop returns.
bool ProgramEnding() { return !IsWindow(theApp.mainWindow); }

}  // namespace

void AppState::OpenFile(const wchar_t* requested) {
    CloseFile();
    wchar_t path[pathUnits] = {};
    if (requested) {
        lstrcpynW(path, requested, pathUnits);
    } else if (!ChooseFileToOpen(path) || ProgramEnding()) {
        return;
    }
    ResetAttributes(path);
    if (!AudioRendererPresent()) return;

    HRESULT lastResult = E_FAIL;
    if (!TryBothSplitters(path, lastResult)) {
        DiscardGraph();
        RunRepairTool(path);
        if (ProgramEnding()) return;
        if (!TryBothSplitters(path, lastResult)) {
            ShowHresultError(IDS_LOAD_FAILED, lastResult);
            DiscardGraph();
            return;
        }
    }

    graph->SetVolume(bMute ? silentVolume : volume);
    loaded = TRUE;
    playState = Stopped;
    lstrcpynW(currentFile, path, pathUnits);
    RefreshPanels();
    SetStatusText(0, CachedString(IDS_FILE_LOADED));
    SetStatusText(1, currentFile);
    UpdateToolbarStates();
    ShowLoadedTitle();
    TogglePlay();
}

void AppState::OpenSample() {
    wchar_t path[pathUnits] = {};
    ProgramFolderFile(L"eg.mp3", path);
    OpenFile(path);
}

void AppState::CloseFile() {
    if (!loaded) return;
    Stop();
    ZeroMemory(currentFile, sizeof(currentFile));
    if (graph) DiscardGraph();
    loaded = FALSE;
    playState = Stopped;
    RefreshPanels();
    SetStatusText(0, CachedString(IDS_NO_FILE));
    SetStatusText(1, L"");
    UpdateToolbarStates();
    SetWindowTextW(mainWindow, CachedString(IDS_CAPTION));
}
