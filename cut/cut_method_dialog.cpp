// The question between frame-exact and bitrate-estimate locating, asked for every cut.
#include "cut/cut.h"
#include "resource.h"

bool useFrameMode = true;

INT_PTR CALLBACK CutMethodDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        // Frame mode usually cuts best, so every cut starts from it whatever was chosen last.
        CheckRadioButton(dialog, IDC_MODE_BITRATE, IDC_MODE_FRAME, IDC_MODE_FRAME);
        return TRUE;
    case WM_COMMAND:
        // Esc and Alt+F4 arrive as IDCANCEL; the cut cannot go on without an answer, so only
        // OK leaves.
        if (LOWORD(wParam) == IDOK) {
            useFrameMode = IsDlgButtonChecked(dialog, IDC_MODE_FRAME) == BST_CHECKED;
            EndDialog(dialog, IDOK);
        }
        return TRUE;
    default: return FALSE;
    }
}
