// The application object, start-up and shutdown.
#include "app/app_state.h"
#include "online/online.h"
#include "playback/playback_graph.h"
#include "resource.h"
#include "webhost/browser_host.h"

#include <commctrl.h>

AppState theApp;

namespace {

constexpr int mainWindowWidth = 720;
constexpr int mainWindowHeight = 420;
constexpr int statusPartZeroRight = 150;

DWORD ReadOsMajorVersion() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);  // 276
    GetVersionExW(&version);
    return version.dwMajorVersion;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM_SMALL));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    windowClass.lpszClassName = mainWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExW(WS_EX_APPWINDOW | WS_EX_ACCEPTFILES, mainWindowClass, CachedString(IDS_CAPTION),
                           WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, mainWindowWidth, mainWindowHeight, nullptr, nullptr,
                           instance, nullptr);
}

// Start-up cannot go on without its windows; the user is told rather than left with no window.
BOOL FailStartup(HWND owner) {
    wchar_t text[errorTextUnits] = {};
    LoadStringW(theApp.hInstance, IDS_STARTUP_FAILED, text, errorTextUnits);
    MessageBoxW(owner, text, CachedString(IDS_CAPTION), MB_ICONERROR);
    if (owner) DestroyWindow(owner);
    return FALSE;
}

}  // namespace

AppState::AppState() : osMajorVersion(ReadOsMajorVersion()) {}

BOOL AppState::Init(HINSTANCE instance) {
    CreateMutexW(nullptr, FALSE, L"ClipvaneMutex");
    hInstance = instance;
    LoadStrings();
    LoadSettings(nullptr);
    if (!RegisterMainWindowClass(instance)) return FailStartup(nullptr);
    mainWindow = CreateMainWindow(instance);
    if (!mainWindow) return FailStartup(nullptr);
    CenterWindow(mainWindow);
    if (!CreateStatusBar()) return FailStartup(mainWindow);
    // The container stores its own handle and its children's while it initialises.
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PANEL_CONTAINER), mainWindow, PanelContainer, 0);
    if (!panelContainer) return FailStartup(mainWindow);
    CreateBrowserWindow();

    ShowWindow(mainWindow, SW_SHOW);
    UpdateWindow(mainWindow);
    SendMessageW(mainWindow, WM_SIZE, 0, 0);
    SetFocus(abPanel);

    if (!CheckInstall()) {
        ShowMessage(mainWindow, CachedString(IDS_COMPANION_MISSING), MB_ICONERROR);
        Shutdown();
        return FALSE;
    }
    FilterCheckResult filters = PlaybackGraph::CheckFilters();
    if (filters != Ok) {
        ShowMessage(mainWindow, CachedString(filters == Missing ? IDS_FILTER_MISSING : IDS_SYSTEM_BROKEN),
                    MB_ICONERROR);
        Shutdown();
        return FALSE;
    }
    StartOnlineWorkers();
    return TRUE;
}

void AppState::Shutdown() {
    SaveSettings(mainWindow);
    DestroyWindow(mainWindow);
    // Destroying the main window destroyed the page with it.
    browserWindow = nullptr;
}

void AppState::Exit() {
    if (loaded) CloseFile();
    Shutdown();
}

BOOL AppState::CreateStatusBar() {
    statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                mainWindow, nullptr, hInstance, nullptr);
    if (!statusBar) return FALSE;
    int rightEdges[2] = {statusPartZeroRight, -1};
    SendMessageW(statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(rightEdges));
    SetStatusText(0, CachedString(IDS_NO_FILE));
    return TRUE;
}

// The page needs the control panel to live in; a program without the browser control runs on
// without it, silently.
void AppState::CreateBrowserWindow() {
    browserWindow = controlPanel ? CreateBrowserHost(hInstance, controlPanel, StartPageAddress()) : nullptr;
}

void AppState::RefreshPanels() {
    SendMessageW(abPanel, WM_COMMAND, IDC_REFRESH_AB_PANEL, 0);
    SendMessageW(timelineBar, WM_COMMAND, IDC_REFRESH_TIMELINE, 0);
}

void CenterWindow(HWND window) {
    RECT desktop = {};
    RECT own = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &own);
    int x = ((desktop.right - desktop.left) - (own.right - own.left)) / 2;
    int y = ((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(window, HWND_TOP, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE);
}
