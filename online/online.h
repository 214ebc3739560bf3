// The update check, the usage ping and the new-version dialog.
#pragma once

#include <windows.h>
#include <wininet.h>

// The vendor's web server that the workers ask and the download button opens.
struct VendorServer {
    const wchar_t* host;
    INTERNET_PORT port;
};

// Holds the build-time configuration. Only a test program points it elsewhere, and only
// before start-up: the workers read it without a lock.
extern VendorServer vendorServer;

constexpr size_t vendorAddressUnits = 512;

// "http://host/<path>", with ":port" when the port is not 80, into `address` (`units` long).
void VendorPageAddress(const wchar_t* path, wchar_t* address, size_t units);
// Opens that page in the user's default browser; a failure is not reported.
void OpenVendorPage(const wchar_t* path);

// Thread routines; the start parameter is not used.
DWORD WINAPI CheckForUpdate(LPVOID);
DWORD WINAPI SendUsagePing(LPVOID);

// Starts the update check and then the usage ping, each on its own thread; never waits for them.
void StartOnlineWorkers();

// The message the update check posts for `reply` (zero-terminated): newVersionMessage,
// versionDeprecatedMessage or 0 for none.
UINT UpdateMessageFor(const char* reply);

// Dialog 138, opened modally on the main window with the message that caused it as parameter.
INT_PTR CALLBACK NewVersionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ShowNewVersionDialog(UINT cause);
