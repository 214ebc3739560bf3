// How long sound takes from the renderer to the ear, where the graph's position does not count it.
#include "playback/playback_graph.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

namespace {

struct EngineTiming {
    LONGLONG delay = 0;   // the engine's buffer and the device's latency behind it
    LONGLONG period = 0;  // the step in which the engine is fed
};

// The shared-mode audio engine of the default output. Wine's DirectSound keeps the engine's
// buffer full, so its sound lags what was mixed by the buffer and the latency, and it mixes a
// period at a time.
EngineTiming MeasureEngine() {
    EngineTiming timing;
    ComPtr<IMMDeviceEnumerator> devices;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioClient> client;
    WAVEFORMATEX* format = nullptr;
    REFERENCE_TIME latency = 0, period = 0;
    UINT32 frames = 0;
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                   __uuidof(IMMDeviceEnumerator), devices.PutVoid())) &&
        SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, device.Put())) &&
        SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr, client.PutVoid())) &&
        SUCCEEDED(client->GetMixFormat(&format)) &&
        SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 0, 0, format, nullptr)) &&
        SUCCEEDED(client->GetStreamLatency(&latency)) && SUCCEEDED(client->GetBufferSize(&frames)) &&
        SUCCEEDED(client->GetDevicePeriod(&period, nullptr)) && format->nSamplesPerSec > 0)
        timing = {latency + LONGLONG(frames) * 10000000 / format->nSamplesPerSec, period};
    CoTaskMemFree(format);
    return timing;
}

const EngineTiming& Engine() {
    static const EngineTiming timing = RunningUnderWine() ? MeasureEngine() : EngineTiming{};
    return timing;
}

}  // namespace

// On Windows the DirectSound renderer is the graph's clock and runs with the sound it plays, so
// the position is what is heard. Wine's renderer runs on the system clock instead and writes
// ahead of its audio engine: the position leads the sound by the engine's delay (measured through
// PulseAudio: 47–58 ms ahead; the engine reports 20 ms of latency behind a 30 ms buffer, at 44.1
// and 22.05 kHz alike). Nothing Wine reports follows the sound server's own buffering: an audio
// client's clock keeps with what is heard to within a period, but the renderer's stream belongs to
// DirectSound, out of the program's reach. A server that makes Wine choose a longer period than its
// 10 ms (one asked for 50 ms of buffering: 13.6 ms at 44.1 kHz, 20 ms at 22.05 kHz) grows this sum
// faster than the delay: ↑ still marked within 2 ms of what was heard at 44.1 kHz, but 26–31 ms
// early at 22.05 kHz.
LONGLONG OutputLatency() { return Engine().delay; }

// Wine's mixer takes up a newly started buffer at its next period, not at the start time the
// renderer was given: the silence before a repetition measured 27-29 ms, or one period more
// (37-39 ms with Wine's 10 ms period; 41.6-42.6 ms where the period is 13.6 ms, 44-49 ms where it
// is 20 ms).
LONGLONG OutputStartSlack() { return Engine().period; }
