// The two modal dialogs that change the jump size and the fine-tuning step. A value out of
// range is clamped silently; 0, empty or unreadable text takes the default.
#include "app/app_state.h"
#include "logic/control_values.h"
#include "panels/panels.h"
#include "resource.h"

namespace {

struct StepField {
    int editId;
    int& value;
    StepRange range;
    int panelStaticId;
};

INT_PTR StepDialog(HWND dialog, UINT message, WPARAM wParam, const StepField& field) {
    switch (message) {
    case WM_INITDIALOG: SetDlgItemInt(dialog, field.editId, static_cast<UINT>(field.value), FALSE); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            UINT entered = GetDlgItemInt(dialog, field.editId, nullptr, FALSE);
            field.value = ClampStep(entered, field.range);
            SetDlgItemInt(theApp.controlPanel, field.panelStaticId, static_cast<UINT>(field.value), FALSE);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK JumpSizeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return StepDialog(dialog, message, wParam, {IDC_JUMP_EDIT, theApp.eachJump, jumpSecondsRange, IDC_JUMP_VALUE});
}

INT_PTR CALLBACK FineTuneSizeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return StepDialog(dialog, message, wParam,
                      {IDC_FINE_TUNE_EDIT, theApp.fineTuning, fineTuningMsRange, IDC_FINE_TUNE_VALUE});
}
