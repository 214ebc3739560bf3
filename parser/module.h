// The DLL's module-wide bookkeeping: its instance handle and the counts that decide
// whether COM may unload it.
#pragma once
#include <windows.h>

namespace clipvane_parser {

HMODULE ModuleHandle();

// Every live COM object of this DLL (filters, enumerators, class factories) holds one
// object count; IClassFactory::LockServer holds a lock count.
void AddObjectCount();
void ReleaseObjectCount();
void AddServerLock();
void ReleaseServerLock();
bool ModuleCanUnload();

}  // namespace clipvane_parser
