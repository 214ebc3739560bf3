// Under Wine, the default sound device kept running from the first graph on.
//
// Wine's DirectSound starts a device with a burst: its mixer fills the audio engine's buffer at
// once (measured: a new buffer's play cursor leapt 80 ms within 20 ms of the device's first Play,
// then ran in real time). The renderer times its first samples against that cursor, so the first
// graph's first second came out in pieces, replayed or dropped, and up to 50 ms off the clock until
// the first seek. Wine shares one device among all the DirectSound users of a process: a silent
// buffer playing from before the first renderer is created takes the burst, and every renderer
// after it starts on a device already running in step with the clock.
#include "playback/playback_graph.h"

#include <dsound.h>
#include <mmreg.h>

#include <cstring>

namespace {

// Long enough for the burst to pass (it ends within 60 ms of the first Play).
constexpr DWORD settleMs = 150;
constexpr DWORD bufferMs = 100;

// PCM at the device's own rate and channels, so that the mixer never resamples the silence.
WAVEFORMATEX SilenceFormat(IDirectSound8* device) {
    WAVEFORMATEX format = {};
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    ComPtr<IDirectSoundBuffer> primary;
    alignas(WAVEFORMATEXTENSIBLE) BYTE deviceFormat[sizeof(WAVEFORMATEXTENSIBLE)] = {};
    if (SUCCEEDED(device->CreateSoundBuffer(&description, primary.Put(), nullptr)) &&
        SUCCEEDED(primary->GetFormat(reinterpret_cast<WAVEFORMATEX*>(deviceFormat), sizeof deviceFormat, nullptr))) {
        format.nChannels = reinterpret_cast<WAVEFORMATEX*>(deviceFormat)->nChannels;
        format.nSamplesPerSec = reinterpret_cast<WAVEFORMATEX*>(deviceFormat)->nSamplesPerSec;
    }
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.wBitsPerSample = 16;
    format.nBlockAlign = format.nChannels * format.wBitsPerSample / 8;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

// A looping buffer of silence on the default device, held until the process ends.
class SilentBuffer {
public:
    SilentBuffer() {
        if (FAILED(DirectSoundCreate8(nullptr, device_.Put(), nullptr)) ||
            FAILED(device_->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY)))
            return;
        WAVEFORMATEX format = SilenceFormat(device_);
        DSBUFFERDESC description = {};
        description.dwSize = sizeof description;
        description.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
        description.dwBufferBytes = format.nAvgBytesPerSec * bufferMs / 1000;
        description.lpwfxFormat = &format;
        if (FAILED(device_->CreateSoundBuffer(&description, buffer_.Put(), nullptr)) || !FillWithSilence() ||
            FAILED(buffer_->Play(0, 0, DSBPLAY_LOOPING)))
            return;
        Sleep(settleMs);
    }
    ~SilentBuffer() {
        if (buffer_) buffer_->Stop();
    }

private:
    bool FillWithSilence() {
        void* first = nullptr;
        void* second = nullptr;
        DWORD firstBytes = 0, secondBytes = 0;
        if (FAILED(buffer_->Lock(0, 0, &first, &firstBytes, &second, &secondBytes, DSBLOCK_ENTIREBUFFER))) return false;
        memset(first, 0, firstBytes);
        if (second) memset(second, 0, secondBytes);
        return SUCCEEDED(buffer_->Unlock(first, firstBytes, second, secondBytes));
    }

    ComPtr<IDirectSound8> device_;
    ComPtr<IDirectSoundBuffer> buffer_;
};

}  // namespace

void KeepSoundDeviceRunning() {
    if (!RunningUnderWine()) return;
    static SilentBuffer silence;
}
