// Entry point: OLE and the common controls around the start-up and the message loop.
#include "app/app_state.h"
#include "resource.h"

#include <commctrl.h>
#include <clocale>
#include <ole2.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    OleInitialize(nullptr);
    InitCommonControls();
    setlocale(LC_ALL, "");
    if (theApp.Init(instance)) {
        HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0)) DispatchProgramMessage(accelerators, message);
    }
    OleUninitialize();
    return 0;
}
