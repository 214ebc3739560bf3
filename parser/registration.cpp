// DllRegisterServer / DllUnregisterServer: the COM class entry under HKCR\CLSID for
// machines that use the filter without the program's manifest. Only the COM class is
// registered, not a filter-mapper entry, so that automatic graph building elsewhere is
// not changed by installing this DLL.
#include <windows.h>
#include <objbase.h>

#include <cwchar>

#include "module.h"
#include "parser_ids.h"

namespace clipvane_parser {
namespace {

constexpr size_t kGuidTextLength = 39;
constexpr size_t kKeyPathLength = 128;

bool ClassKeyPath(wchar_t (&path)[kKeyPathLength]) {
  wchar_t clsidText[kGuidTextLength];
  if (StringFromGUID2(kParserClsid, clsidText, kGuidTextLength) == 0) return false;
  return swprintf(path, kKeyPathLength, L"CLSID\\%ls", clsidText) > 0;
}

HRESULT SetStringValue(HKEY key, const wchar_t *name, const wchar_t *value) {
  const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  const LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value), bytes);
  return HRESULT_FROM_WIN32(status);
}

HRESULT WriteClassKey(const wchar_t *classPath, const wchar_t *modulePath) {
  HKEY classKey = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, classPath, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  HRESULT hr = SetStringValue(classKey, nullptr, kParserName);
  HKEY serverKey = nullptr;
  if (SUCCEEDED(hr)) {
    status = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
    hr = HRESULT_FROM_WIN32(status);
  }
  if (SUCCEEDED(hr)) hr = SetStringValue(serverKey, nullptr, modulePath);
  if (SUCCEEDED(hr)) hr = SetStringValue(serverKey, L"ThreadingModel", L"Both");
  if (serverKey) RegCloseKey(serverKey);
  RegCloseKey(classKey);
  return hr;
}

}  // namespace
}  // namespace clipvane_parser

extern "C" HRESULT WINAPI DllRegisterServer() {
  using namespace clipvane_parser;
  wchar_t modulePath[MAX_PATH];
  const DWORD length = GetModuleFileNameW(ModuleHandle(), modulePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  wchar_t classPath[kKeyPathLength];
  if (!ClassKeyPath(classPath)) return E_FAIL;
  const HRESULT hr = WriteClassKey(classPath, modulePath);
  if (FAILED(hr)) RegDeleteTreeW(HKEY_CLASSES_ROOT, classPath);
  return hr;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  using namespace clipvane_parser;
  wchar_t classPath[kKeyPathLength];
  if (!ClassKeyPath(classPath)) return E_FAIL;
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, classPath);
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;  // nothing registered is not a failure
  return HRESULT_FROM_WIN32(status);
}
