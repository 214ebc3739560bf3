// The small modal dialog that runs the repair tool hidden and waits for it without blocking.
#include "app/app_state.h"
#include "app/child_process.h"
#include "resource.h"


namespace {

constexpr UINT_PTR repairTimer = 2000;
constexpr UINT repairPollMs = 200;

wchar_t* repairCommandLine = nullptr;
HWND repairAnimation = nullptr;
HANDLE repairProcess = nullptr;
bool repairFinished = true;

}  // namespace

INT_PTR CALLBACK RepairDialog(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        repairCommandLine = reinterpret_cast<wchar_t*>(lParam);
        repairAnimation = GetDlgItem(dialog, IDC_REPAIR_ANIMATION);
        StartBusyAnimation(repairAnimation);
        repairProcess = StartHiddenProcess(repairCommandLine);
        SetTimer(dialog, repairTimer, repairPollMs, nullptr);
        repairFinished = false;
        return TRUE;
    case WM_TIMER:
        if (repairFinished || ProcessStillRunning(repairProcess)) return TRUE;
        StopBusyAnimation(repairAnimation);
        if (repairProcess) CloseHandle(repairProcess);
        repairProcess = nullptr;
        repairFinished = true;
        KillTimer(dialog, repairTimer);
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
