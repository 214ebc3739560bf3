// A stand-in for the system's web-browser control, declared under its class identifier for the
// webhost tests only (through an activation context), because Wine's own control cannot show a
// page here. It records what its container does to it and calls back into the container's site
// the way a real browser does, and fails on demand.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

enum RecordingBrowserFailure {
    FailNothing,
    FailNoFactory,
    FailCreateInstance,
    FailSetClientSite,
    FailDoVerb,
    FailNoWebBrowser2,
};

// Clears the log and sets the failure the next calls show.
void RecordingBrowserReset(int failure);
// One line per call, in order.
const wchar_t* RecordingBrowserLog(void);
// Browser objects created and not yet released to zero.
LONG RecordingBrowserLiveObjects(void);

#ifdef __cplusplus
}
#endif
