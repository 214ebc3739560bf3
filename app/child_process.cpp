#include "app/child_process.h"
#include "resource.h"

#include <commctrl.h>

ScopedHandle StartHiddenProcess(wchar_t* commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ScopedHandle();
    ScopedHandle unusedThread(process.hThread);
    return ScopedHandle(process.hProcess);
}

void StartBusyAnimation(HWND animation) {
    SendMessageW(animation, ACM_OPENW, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_BUSY_AVI)));
}

void StopBusyAnimation(HWND animation) {
    SendMessageW(animation, ACM_STOP, 0, 0);
    SendMessageW(animation, ACM_OPENW, 0, 0);
}

bool ProcessStillRunning(HANDLE process) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    return exitCode == STILL_ACTIVE;
}
