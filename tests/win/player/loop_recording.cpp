#include "tests/win/player/loop_recording.h"

#include <algorithm>
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

// The source frames grouped by their first channel's value, in buckets wider than the tolerance,
// so that a recorded frame is looked for among a few hundred candidates rather than all of them.
class SourceIndex {
public:
    explicit SourceIndex(const PcmSamples& source) : buckets_(kBuckets) {
        for (int64_t frame = 0; frame < source.Frames(); ++frame)
            buckets_[Bucket(source.samples[frame * source.channels])].push_back(frame);
    }
    // The candidates for a frame whose first channel reads `value`.
    template <typename Visit>
    bool AnyNear(int value, Visit visit) const {
        const int low = Bucket(value - kHeardTolerance), high = Bucket(value + kHeardTolerance);
        for (int bucket = low; bucket <= high; ++bucket)
            for (int64_t frame : buckets_[bucket])
                if (visit(frame)) return true;
        return false;
    }

private:
    static constexpr int kWidth = 8;
    static constexpr int kBuckets = 65536 / kWidth + 1;
    static int Bucket(int value) { return (std::clamp(value, -32768, 32767) + 32768) / kWidth; }
    std::vector<std::vector<int64_t>> buckets_;
};

// The source frame where the recording's frames [at, at + window) lie, or -1. Pink noise never
// repeats, so the first full match is the only one.
int64_t FindInSource(const PcmSamples& recording, int64_t at, const PcmSamples& source, const SourceIndex& index,
                     int64_t window) {
    int64_t found = -1;
    index.AnyNear(recording.samples[at * recording.channels], [&](int64_t start) {
        if (start + window > source.Frames()) return false;
        int64_t matched = 0;
        while (matched < window && FrameMatches(recording, at + matched, source, start + matched)) ++matched;
        if (matched < window) return false;
        found = start;
        return true;
    });
    return found;
}

// The Unix path as the program sees it through Wine's Z: drive.
std::wstring WinePath(const char* path) {
    std::wstring wine = L"Z:";
    for (const char* c = path; *c; ++c) wine += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return wine;
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
    const SourceIndex index(source);
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
        int64_t start = frame + window <= frames ? FindInSource(recording, frame, source, index, window) : -1;
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
            // Where the source itself is silent, the silence before the stretch is the stretch's.
            int64_t from = frame;
            for (; silent > 0 && start > 0 && FrameSilent(recording, from - 1) && FrameSilent(source, start - 1); --silent)
                --from, --start;
            const bool continues = !found.empty() && damaged == 0 && start == found.back().SourceEnd();
            found.push_back({from, end, start, silent, damaged, continues});
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
    if (!path || !rate || !channels) return session;
    session.path = WinePath(path);
    if (const char* gaps = getenv("CLIPVANE_GAPS")) session.gapsPath = WinePath(gaps);
    session.rate = atoi(rate);
    session.channels = atoi(channels);
    return session;
}

int64_t RecordedFrames(const RecordingSession& session) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(session.path.c_str(), GetFileExInfoStandard, &data)) return -1;
    const int64_t bytes = (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return bytes / (2 * session.channels);
}
