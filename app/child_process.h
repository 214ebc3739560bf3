// The external tools run as hidden child processes that are polled, never waited on.
#pragma once
#include <windows.h>

#include "win32/scoped.h"

// Starts a command line with its window hidden; returns the process handle, or none.
ScopedHandle StartHiddenProcess(wchar_t* commandLine);
// True while the process runs; a null or invalid handle counts as ended.
bool ProcessStillRunning(HANDLE process);

// The busy clip that plays in an animation control while a tool runs; stopping also closes it.
void StartBusyAnimation(HWND animation);
void StopBusyAnimation(HWND animation);
