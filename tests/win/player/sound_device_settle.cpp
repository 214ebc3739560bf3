// Not a test: scripts/with-pulse --settle runs it before a hearing entry's program. Wine writes
// the sound server's devices and their formats into HKLM when a program first looks at them, and
// again whenever the sink's rate or channels are not those recorded. Looking at them here, and
// changing a value of HKCU that the script then sees saved, lets the entry start with nothing of
// the registry left to save.
#include <windows.h>
#include <mmdeviceapi.h>

namespace {

bool LookAtTheSoundDevices() {
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* output = nullptr;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices));
    if (SUCCEEDED(hr)) hr = devices->GetDefaultAudioEndpoint(eRender, eConsole, &output);
    if (output) output->Release();
    if (devices) devices->Release();
    return SUCCEEDED(hr);
}

// A new value every run, so that wineserver has something to save and the script sees when.
bool ChangeTheUserBranch() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Clipvane hearing harness", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const ULONGLONG now = GetTickCount64();
    const LONG status = RegSetValueExW(key, L"Settled", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&now), sizeof now);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    const bool looked = LookAtTheSoundDevices();
    CoUninitialize();
    return looked && ChangeTheUserBranch() ? 0 : 1;
}
