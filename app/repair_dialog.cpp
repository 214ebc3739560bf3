// The small modal dialog that runs the repair tool hidden and waits for it without blocking.
#include "app/app_state.h"
#include "app/child_process.h"
#include "resource.h"
#include "win32/dialog_state.h"

namespace {

constexpr UINT_PTR repairTimer = 2000;
constexpr UINT repairPollMs = 200;

struct RepairRun {
    HWND animation = nullptr;
    ScopedHandle process;
    bool finished = false;
};

void StartRepair(HWND dialog, wchar_t* commandLine) {
    RepairRun* run = AttachDialogState(dialog, std::make_unique<RepairRun>());
    run->animation = GetDlgItem(dialog, IDC_REPAIR_ANIMATION);
    StartBusyAnimation(run->animation);
    run->process = StartHiddenProcess(commandLine);
    SetTimer(dialog, repairTimer, repairPollMs, nullptr);
}

void PollRepair(HWND dialog) {
    RepairRun* run = DialogState<RepairRun>(dialog);
    if (!run || run->finished || ProcessStillRunning(run->process.Get())) return;
    StopBusyAnimation(run->animation);
    run->process.Reset();
    run->finished = true;
    KillTimer(dialog, repairTimer);
    EndDialog(dialog, 0);
}

}  // namespace

INT_PTR CALLBACK RepairDialog(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: StartRepair(dialog, reinterpret_cast<wchar_t*>(lParam)); return TRUE;
    case WM_TIMER: PollRepair(dialog); return TRUE;
    case WM_NCDESTROY: FreeDialogState<RepairRun>(dialog); return FALSE;
    default: return FALSE;
    }
}
