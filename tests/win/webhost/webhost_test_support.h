// The control panel's stand-in for the page host tests, and the recording browser's activation.
#pragma once

#include "tests/win/webhost/recording_browser.h"

#include <windows.h>
#include <string>

// A window of the test's own in the control panel's place: its WM_SIZE places theApp.browserWindow
// as the control panel does.
HWND CreatePanelStandIn(HWND parent);

// Makes CLSID_WebBrowser the recording browser on this thread while it lives.
class RecordingBrowserScope {
public:
    RecordingBrowserScope();
    ~RecordingBrowserScope();
    bool Active() const { return cookie_ != 0; }

private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

// Top-level windows of this thread that are visible, other than `except`, as "class: title" lines.
std::wstring OtherVisibleWindows(HWND except);
