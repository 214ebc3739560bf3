// The window's face: the container that stacks the panels above the transport toolbar, the
// usage-hint strip, the control panel with its two size dialogs, and the A-B display and
// timeline bar.
#pragma once
#include <windows.h>

INT_PTR CALLBACK ControlPanel(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InfoStrip(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AbPanel(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TimelineBar(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK JumpSizeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FineTuneSizeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// A click on a panel's background moves the main window, as a click on its caption would.
void DragMainWindow();

// A panel that set the hand cursor says so to whoever sent WM_SETCURSOR; returns `handled`.
BOOL HandCursorResult(HWND dialog, BOOL handled);
