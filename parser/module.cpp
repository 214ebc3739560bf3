// DLL entry point and the exported COM entry points DllGetClassObject and DllCanUnloadNow.
#include "module.h"

#include <objbase.h>

#include "class_factory.h"
#include "parser_ids.h"

namespace clipvane_parser {
namespace {

HMODULE moduleHandle = nullptr;
LONG objectCount = 0;
LONG serverLocks = 0;

}  // namespace

HMODULE ModuleHandle() { return moduleHandle; }
void AddObjectCount() { InterlockedIncrement(&objectCount); }
void ReleaseObjectCount() { InterlockedDecrement(&objectCount); }
void AddServerLock() { InterlockedIncrement(&serverLocks); }
void ReleaseServerLock() { InterlockedDecrement(&serverLocks); }
bool ModuleCanUnload() { return objectCount == 0 && serverLocks == 0; }

}  // namespace clipvane_parser

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    clipvane_parser::moduleHandle = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (!IsEqualCLSID(clsid, clipvane_parser::kParserClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return clipvane_parser::CreateClassFactory(iid, result);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return clipvane_parser::ModuleCanUnload() ? S_OK : S_FALSE; }
