#include "tests/win/player/loop_recording.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool FrameMatches(const PcmSamples& a, int64_t frameA, const PcmSamples& b, int64_t frameB) {
    for (int c = 0; c < a.channels; ++c) {
        int difference = a.samples[frameA * a.channels + c] - b.samples[frameB * b.channels + c];
        if (difference > kHeardTolerance || difference < -kHeardTolerance) return false;
    }
    return true;
}

bool FrameSilent(const PcmSamples& pcm, int64_t frame) {
    for (int c = 0; c < pcm.channels; ++c)
        if (pcm.samples[frame * pcm.channels + c] != 0) return false;
    return true;
}

// The source frame where the recording's frames [at, at + window) lie, or -1. Pink noise never
// repeats, so the first full match is the only one.
int64_t FindInSource(const PcmSamples& recording, int64_t at, const PcmSamples& source, int64_t window) {
    for (int64_t start = 0; start + window <= source.Frames(); ++start) {
        int64_t matched = 0;
        while (matched < window && FrameMatches(recording, at + matched, source, start + matched)) ++matched;
        if (matched == window) return start;
    }
    return -1;
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (const char* c = text; *c; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return wide;
}

}  // namespace

PcmSamples ReadRawPcm(const std::wstring& path, int rate, int channels) {
    PcmSamples pcm;
    pcm.rate = rate;
    pcm.channels = channels;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return pcm;
    int16_t block[4096];
    size_t got;
    while ((got = fread(block, sizeof block[0], 4096, file)) > 0) pcm.samples.insert(pcm.samples.end(), block, block + got);
    fclose(file);
    pcm.samples.resize(pcm.samples.size() - pcm.samples.size() % channels);
    return pcm;
}

std::vector<HeardStretch> LocateHeard(const PcmSamples& recording, const PcmSamples& source, int64_t shortest) {
    // 3 ms of noise: far too much to match anywhere by chance.
    const int64_t window = recording.rate * 3 / 1000;
    std::vector<HeardStretch> found;
    int64_t silent = 0, damaged = 0;
    int64_t frame = 0;
    const int64_t frames = recording.Frames();
    while (frame < frames) {
        if (FrameSilent(recording, frame)) {
            ++silent;
            ++frame;
            continue;
        }
        int64_t start = frame + window <= frames ? FindInSource(recording, frame, source, window) : -1;
        if (start < 0) {
            ++damaged;
            ++frame;
            continue;
        }
        int64_t end = frame;
        while (end < frames && start + (end - frame) < source.Frames() &&
               FrameMatches(recording, end, source, start + (end - frame)))
            ++end;
        if (end - frame < shortest) {
            damaged += end - frame;
        } else {
            found.push_back({frame, end, start, silent, damaged});
            silent = damaged = 0;
        }
        frame = end;
    }
    return found;
}

RecordingSession CurrentRecording() {
    RecordingSession session;
    const char* path = getenv("CLIPVANE_RECORDING");
    const char* rate = getenv("CLIPVANE_RECORDING_RATE");
    const char* channels = getenv("CLIPVANE_RECORDING_CHANNELS");
    const char* start = getenv("CLIPVANE_RECORDING_START_NS");
    if (!path || !rate || !channels || !start) return session;
    std::wstring wine = L"Z:" + Widen(path);
    for (wchar_t& c : wine)
        if (c == L'/') c = L'\\';
    session.path = wine;
    session.rate = atoi(rate);
    session.channels = atoi(channels);
    session.startNs = _atoi64(start);
    return session;
}

int64_t WallClockNs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const int64_t since1601 = (int64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (since1601 - 116444736000000000LL) * 100;
}

int64_t RecordingFrameAt(const RecordingSession& session, int64_t wallNs) {
    return (wallNs - session.startNs) * session.rate / 1000000000LL;
}
