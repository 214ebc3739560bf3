// The modal dialog that runs the splitter hidden, polls it without blocking, and tells the user
// how the cut ended. Cancelling leaves the splitter to finish on its own.
#include "cut/cut.h"
#include "app/app_state.h"
#include "app/child_process.h"
#include "resource.h"
#include "win32/dialog_state.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <cstdio>

namespace {

constexpr UINT_PTR cutTimer = 1500;
constexpr UINT cutPollMs = 200;
constexpr int revealParameterUnits = pathUnits + 16;

struct CutRun {
    const wchar_t* outputPath = nullptr;
    HWND animation = nullptr;
    ScopedHandle splitter;
    bool finished = true;
};

ScopedHandle StartSplitter(const wchar_t* outputPath) {
    wchar_t splitterPath[pathUnits] = {};
    wchar_t commandLine[splitterCommandUnits] = {};
    ProgramFolderFile(L"mp3splt.exe", splitterPath);
    if (!BuildSplitterCommandLine(splitterPath, theApp.currentFile, theApp.pointA, theApp.pointB, outputPath,
                                  useFrameMode, commandLine, splitterCommandUnits))
        return ScopedHandle();
    return StartHiddenProcess(commandLine);
}

// Leaves the running state: every path out of it comes here exactly once.
void EndRun(HWND dialog, CutRun& run) {
    run.splitter.Reset();
    run.finished = true;
    KillTimer(dialog, cutTimer);
    StopBusyAnimation(run.animation);
}

void ShowOutcome(HWND dialog, const CutRun& run, const wchar_t* text) {
    ShowWindow(run.animation, SW_HIDE);
    SetDlgItemTextW(dialog, IDC_CUT_STATUS, text);
}

// A splitter that ended with an error, or wrote nothing, has not cut anything: saying
// "done" then would send the user looking for a file that is not there.
bool SplitterSucceeded(const CutRun& run) {
    DWORD exitCode = 1;
    GetExitCodeProcess(run.splitter.Get(), &exitCode);
    return exitCode == 0 && PathFileExistsW(run.outputPath);
}

void OnInit(HWND dialog, LPARAM parameter) {
    CutRun& run = *AttachDialogState(dialog, std::make_unique<CutRun>());
    run.outputPath = reinterpret_cast<const wchar_t*>(parameter);
    run.animation = GetDlgItem(dialog, IDC_CUT_ANIMATION);
    StartBusyAnimation(run.animation);
    SetDlgItemTextW(dialog, IDC_CUT_OUTPUT_PATH, run.outputPath);
    run.splitter = StartSplitter(run.outputPath);
    if (!run.splitter.Valid()) {
        StopBusyAnimation(run.animation);
        ShowOutcome(dialog, run, CachedString(IDS_SPLITTER_NOT_STARTED));
        return;
    }
    SetTimer(dialog, cutTimer, cutPollMs, nullptr);
    run.finished = false;
}

void OnTimer(HWND dialog, CutRun& run) {
    if (run.finished || ProcessStillRunning(run.splitter.Get())) return;
    bool succeeded = SplitterSucceeded(run);
    EndRun(dialog, run);
    ShowOutcome(dialog, run, succeeded ? CachedString(IDS_CUT_DONE) : CachedString(IDS_CUT_FAILED));
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
    CutRun* run = DialogState<CutRun>(dialog);
    switch (message) {
    case WM_INITDIALOG: OnInit(dialog, lParam); return TRUE;
    case WM_TIMER:
        if (wParam == cutTimer && run) OnTimer(dialog, *run);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CUT_REVEAL) {
            RevealOutput(dialog);
        } else if (LOWORD(wParam) == IDCANCEL) {
            if (run && !run->finished) EndRun(dialog, *run);
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    case WM_NCDESTROY: FreeDialogState<CutRun>(dialog); return FALSE;
    default: return FALSE;
    }
}
