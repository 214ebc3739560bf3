// The application object: every window handle, the loaded file, the transport state and the
// user's settings. One instance, `theApp`, lives for the whole process.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <initializer_list>
#include <memory>

#include "logic/transport_logic.h"
#include "playback/playback_graph.h"

enum PlayState : int { Stopped = 0, Paused = 1, Playing = 2 };

// Messages posted to the main window by the graph and the update check.
constexpr UINT graphEventMessage = WM_APP + 100;
constexpr UINT versionDeprecatedMessage = WM_APP + 101;
constexpr UINT newVersionMessage = WM_APP + 102;

constexpr UINT_PTR playTimer = 1000;
constexpr UINT playTimerIntervalMs = 25;
constexpr int pathUnits = 260;
constexpr int messageUnits = 2048;
constexpr int errorTextUnits = 256;

class AppState {
public:
    AppState();

    // Start-up and shutdown.
    BOOL Init(HINSTANCE instance);
    void Shutdown();
    void Exit();
    void LoadStrings();
    BOOL CreateStatusBar();
    void CreateBrowserWindow();
    void RefreshPanels();

    // Main window.
    bool OnCommand(WORD command);
    void UpdateMenu(HMENU menu, UINT position);
    void ToggleTopmost();
    void OnDropFiles(HDROP drop);

    // Transport and the A-B loop.
    void TogglePlay();
    void Stop();
    void JumpForward();
    void JumpBackward();
    void GoToStart();
    void GoToEnd();
    void MarkAB();
    void FineTuneAMinus();
    void FineTuneAPlus();
    void FineTuneBMinus();
    void FineTuneBPlus();
    void OnPlayTimer();
    void DrainGraphEvents();
    void CreateToolbar();
    void UpdateToolbarImages();
    void UpdateToolbarStates();

    // Opening and closing files.
    void OpenFile(const wchar_t* path);
    void OpenSample();
    void CloseFile();

    // Cutting.
    void CutAbPart();

    // Settings and install check.
    void LoadSettings(HWND owner);
    void SaveSettings(HWND owner);
    BOOL CheckInstall();

    bool IsActive() const { return loaded && playState != Stopped; }

    OPENFILENAMEW openFileName = {};
    HINSTANCE hInstance = nullptr;
    HWND mainWindow = nullptr;
    wchar_t currentFile[pathUnits] = {};
    HWND statusBar = nullptr;
    HWND panelContainer = nullptr;
    HWND controlPanel = nullptr;
    HWND browserWindow = nullptr;
    HWND infoStrip = nullptr;
    HWND abPanel = nullptr;
    HWND timelineBar = nullptr;
    HWND toolbar = nullptr;
    BOOL loaded = FALSE;
    int playState = Stopped;
    int pointA = unsetPoint;
    int pointB = unsetPoint;
    int eachJump = 0;
    int fineTuning = 0;
    BOOL bMute = FALSE;
    int volume = 0;
    std::unique_ptr<PlaybackGraph> graph;
    DWORD osMajorVersion;
    BOOL topmost = FALSE;
};

extern AppState theApp;

// The start-up string cache: texts of the string table, loaded once before any window exists.
const wchar_t* CachedString(UINT id);

// The main window's procedure and its class name.
extern const wchar_t mainWindowClass[];
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Dispatches one message of the program's loop, translating the accelerator table first.
void DispatchProgramMessage(HACCEL accelerators, MSG& message);

// Centres a window on the desktop, never at a negative position.
void CenterWindow(HWND window);

// Message box owned by `owner` with the program's caption.
int ShowMessage(HWND owner, const wchar_t* text, UINT flags);
// The cached string `formatId` formatted with the arguments, shown as ShowMessage does.
int ShowFormattedMessage(HWND owner, UINT flags, UINT formatId, ...);
// The main window's error with the system's text for `hr` (at most 255 characters) in `formatId`.
void ShowHresultError(UINT formatId, HRESULT hr);

// Full path of a file that lies beside the program (`units` at least pathUnits).
void ProgramFolderFile(const wchar_t* name, wchar_t* path);

// Fills the shared file-dialog block for choosing an MP3 into `path` (pathUnits long).
OPENFILENAMEW* PrepareMp3FileDialog(wchar_t* path, DWORD flags);

// Sets status bar part 0 or 1.
void SetStatusText(int part, const wchar_t* text);

DWORD WINAPI PlayRejectSound(LPVOID);
INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RepairDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The panel container (panels/): creates the panels and the toolbar while it initialises.
INT_PTR CALLBACK PanelContainer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Opens one of the vendor's pages in the default browser.
void OpenWebPage(WORD command);
const wchar_t* WebPageAddress(WORD command);
// The page shown inside the control panel.
const wchar_t* StartPageAddress();
UINT CurrentToolbarStrip();
