// The recording browser's activation for the page host tests, and what else they watch.
#pragma once

#include "tests/win/webhost/recording_browser.h"

#include <windows.h>
#include <string>

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

// Out of memory cannot be produced for real here, so this stands in for it: while it lives, the
// program's own GlobalAlloc calls for a page host record (GMEM_FIXED, the record's size) fail as
// they would with no memory left. It swaps this test program's import of GlobalAlloc, so the
// code under test is unchanged and the system's own allocations are untouched.
class NoMemoryForHostRecord {
public:
    NoMemoryForHostRecord();
    ~NoMemoryForHostRecord();
    bool Active() const { return slot_ != nullptr; }
    // Allocations refused since construction.
    int Refused() const;

private:
    void** slot_ = nullptr;
};

// Top-level windows of this thread that are visible, other than `except`, as "class: title" lines.
std::wstring OtherVisibleWindows(HWND except);
