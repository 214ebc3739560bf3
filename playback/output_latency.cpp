// How long sound takes from the renderer to the ear, where the graph's position does not count it.
#include "playback/playback_graph.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

namespace {

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The shared-mode audio engine's buffer and the device's latency behind it, for the default
// output. Wine's DirectSound keeps that buffer full, so its sound lags what was mixed by both.
LONGLONG EngineDelay() {
    LONGLONG delay = 0;
    ComPtr<IMMDeviceEnumerator> devices;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioClient> client;
    WAVEFORMATEX* format = nullptr;
    REFERENCE_TIME latency = 0;
    UINT32 frames = 0;
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                   __uuidof(IMMDeviceEnumerator), devices.PutVoid())) &&
        SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, device.Put())) &&
        SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr, client.PutVoid())) &&
        SUCCEEDED(client->GetMixFormat(&format)) &&
        SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 0, 0, format, nullptr)) &&
        SUCCEEDED(client->GetStreamLatency(&latency)) && SUCCEEDED(client->GetBufferSize(&frames)) &&
        format->nSamplesPerSec > 0)
        delay = latency + LONGLONG(frames) * 10000000 / format->nSamplesPerSec;
    CoTaskMemFree(format);
    return delay;
}

}  // namespace

// On Windows the DirectSound renderer is the graph's clock and runs with the sound it plays, so
// the position is what is heard. Wine's renderer runs on the system clock instead and writes
// ahead of its audio engine: the position leads the sound by the engine's delay (measured through
// PulseAudio: 47–58 ms ahead; the engine reports 20 ms of latency behind a 30 ms buffer). A sound
// server asked for a larger buffer than Wine requests (PULSE_LATENCY_MSEC) adds a delay that Wine
// does not report: ↑ then marks that much after what is heard.
LONGLONG OutputLatency() {
    static const LONGLONG latency = RunningUnderWine() ? EngineDelay() : 0;
    return latency;
}
