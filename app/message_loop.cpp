// One message of the program's loop: the accelerator table acts for the main window whatever
// window has the focus, so the panels never take the transport keys for dialog navigation.
#include "app/app_state.h"

void DispatchProgramMessage(HACCEL accelerators, MSG& message) {
    if (!TranslateAcceleratorW(theApp.mainWindow, accelerators, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
