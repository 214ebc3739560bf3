// The per-user data folder and the directory routines the settings file relies on.
#pragma once

#include <windows.h>

// Fills `folder` (at least 260 units) with the user's roaming application-data folder as the
// operating system of major version `osMajorVersion` lays it out, and returns it.
wchar_t* GetRoamingFolder(DWORD osMajorVersion, wchar_t* folder);

// Creates every directory named by a prefix of `path` that ends just before a backslash or a
// slash, then `path` itself when `includeLast` is set. Failures are ignored.
void CreateDirectoryChain(const wchar_t* path, BOOL includeLast);

// Deletes `directory` with everything in it, read-only files included. Failures are ignored.
void DeleteTree(const wchar_t* directory);
