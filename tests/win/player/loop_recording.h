// What the sound server heard, located in the source's plain decode. The recording (made by
// scripts/with-pulse) and the decode are raw signed 16-bit samples of the same rate and
// channel count; the program plays the decode's samples unchanged, so each stretch of the
// recording that is not silence is found in the decode sample for sample.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct PcmSamples {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
    int64_t Frames() const { return channels ? int64_t(samples.size()) / channels : 0; }
};

// A stretch of the recording equal (within the tolerance) to a stretch of the source.
struct HeardStretch {
    int64_t recordedStart = 0;  // recording frames [recordedStart, recordedEnd)
    int64_t recordedEnd = 0;
    int64_t sourceStart = 0;  // source frames [sourceStart, sourceStart + length)
    int64_t Length() const { return recordedEnd - recordedStart; }
    int64_t SourceEnd() const { return sourceStart + Length(); }
    // Before this stretch, since the previous one (or the recording's start): frames of exact
    // silence, and frames that are neither silence nor any part of the source.
    int64_t silentBefore = 0;
    int64_t damagedBefore = 0;
    // It goes on, after nothing but silence, with the sample after the previous stretch's last:
    // the sound stopped for a while and lost nothing, as when the sound server's queue runs dry.
    bool continues = false;
    int64_t GapStart() const { return recordedStart - silentBefore; }
};

// How far a heard sample may lie from the decode's (the sound server mixes in floating point).
constexpr int kHeardTolerance = 2;

// A raw file of the given format; empty samples when it cannot be read.
PcmSamples ReadRawPcm(const std::wstring& path, int rate, int channels);
// The stretches of `recording` found in `source`, in recording order. A stretch shorter than
// `shortest` frames counts as damage.
std::vector<HeardStretch> LocateHeard(const PcmSamples& recording, const PcmSamples& source, int64_t shortest);

// The running recording scripts/with-pulse makes, from the environment.
struct RecordingSession {
    std::wstring path;
    // Where the gaps heard are noted for scripts/with-pulse to judge; empty where it does not.
    std::wstring gapsPath;
    int rate = 0;
    int channels = 0;
    bool Valid() const { return !path.empty() && rate > 0 && channels > 0; }
};
RecordingSession CurrentRecording();
// How many frames the recording holds now: the one being recorded, since the sound server
// passes each sample to the recorder as it plays it (within the recorder's 5 ms latency).
int64_t RecordedFrames(const RecordingSession& session);
