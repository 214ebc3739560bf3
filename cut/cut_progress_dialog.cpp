// The modal dialog that runs the splitter hidden, polls it without blocking, and tells the user
// how the cut ended. Cancelling leaves the splitter to finish on its own.
#include "cut/cut.h"
#include "app/app_state.h"
#include "app/child_process.h"
#include "resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <cstdio>

namespace {

constexpr UINT_PTR cutTimer = 1500;
constexpr UINT cutPollMs = 200;
constexpr int revealParameterUnits = pathUnits + 16;

const wchar_t* outputPath = nullptr;
HWND cutAnimation = nullptr;
HANDLE splitterProcess = nullptr;
bool cutFinished = true;

HANDLE StartSplitter() {
    wchar_t splitterPath[pathUnits] = {};
    wchar_t commandLine[splitterCommandUnits] = {};
    ProgramFolderFile(L"mp3splt.exe", splitterPath);
    if (!BuildSplitterCommandLine(splitterPath, theApp.currentFile, theApp.pointA, theApp.pointB, outputPath,
                                  useFrameMode, commandLine, splitterCommandUnits))
        return nullptr;
    return StartHiddenProcess(commandLine);
}

// Leaves the running state: every path out of it comes here exactly once.
void EndRun(HWND dialog) {
    if (splitterProcess) CloseHandle(splitterProcess);
    splitterProcess = nullptr;
    cutFinished = true;
    KillTimer(dialog, cutTimer);
    StopBusyAnimation(cutAnimation);
}

void ShowOutcome(HWND dialog, const wchar_t* text) {
    ShowWindow(cutAnimation, SW_HIDE);
    SetDlgItemTextW(dialog, IDC_CUT_STATUS, text);
}

// A splitter that ended with an error, or wrote nothing, has not cut anything: saying
// "done" then would send the user looking for a file that is not there.
bool SplitterSucceeded(HANDLE process) {
    DWORD exitCode = 1;
    GetExitCodeProcess(process, &exitCode);
    return exitCode == 0 && PathFileExistsW(outputPath);
}

void OnInit(HWND dialog, LPARAM parameter) {
    outputPath = reinterpret_cast<const wchar_t*>(parameter);
    cutAnimation = GetDlgItem(dialog, IDC_CUT_ANIMATION);
    StartBusyAnimation(cutAnimation);
    SetDlgItemTextW(dialog, IDC_CUT_OUTPUT_PATH, outputPath);
    splitterProcess = StartSplitter();
    if (!splitterProcess) {
        StopBusyAnimation(cutAnimation);
        ShowOutcome(dialog, CachedString(IDS_SPLITTER_NOT_STARTED));
        return;
    }
    SetTimer(dialog, cutTimer, cutPollMs, nullptr);
    cutFinished = false;
}

void OnTimer(HWND dialog) {
    if (cutFinished || ProcessStillRunning(splitterProcess)) return;
    bool succeeded = SplitterSucceeded(splitterProcess);
    EndRun(dialog);
    ShowOutcome(dialog, succeeded ? CachedString(IDS_CUT_DONE) : CachedString(IDS_CUT_FAILED));
}

void RevealOutput(HWND dialog) {
    wchar_t path[pathUnits] = {};
    wchar_t parameters[revealParameterUnits] = {};
    GetDlgItemTextW(dialog, IDC_CUT_OUTPUT_PATH, path, pathUnits);
    FormatRevealParameters(path, parameters, revealParameterUnits);
    ShellExecuteW(nullptr, L"open", L"explorer.exe", parameters, nullptr, SW_SHOWNORMAL);
}

}  // namespace

INT_PTR CALLBACK CutProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam == cutTimer) OnTimer(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CUT_REVEAL) {
            RevealOutput(dialog);
        } else if (LOWORD(wParam) == IDCANCEL) {
            if (!cutFinished) EndRun(dialog);
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default:
        return FALSE;
    }
}
