// A modal dialog's state lives in a struct of its own, reached from the dialog window
// (DWLP_USER): made at WM_INITDIALOG, freed when the window goes (WM_NCDESTROY).
#pragma once
#include <windows.h>

#include <memory>

template <typename State>
State* AttachDialogState(HWND dialog, std::unique_ptr<State> state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state.get()));
    return state.release();
}

// Null before WM_INITDIALOG (WM_SETFONT comes first) and after WM_NCDESTROY.
template <typename State>
State* DialogState(HWND dialog) {
    return reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

template <typename State>
void FreeDialogState(HWND dialog) {
    std::unique_ptr<State> owned(DialogState<State>(dialog));
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}
