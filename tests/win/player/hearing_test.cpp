// The program as the user hears it: its sound goes through Wine's PulseAudio driver into a
// private sound server (scripts/with-pulse), whose recording is located in the file's plain
// decode. Run through the hearing_* test entries; without the sound server the tests fail.
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"
#include "tests/win/player/loop_recording.h"

#include <mmsystem.h>
#include <dsound.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct HeardFile {
    const char* name;  // fixture pink-<name>.mp3 and its decode pink-<name>.raw
    int rate;
    int channels;
    int samplesPerFrame;
};

const HeardFile heardFiles[] = {
    {"cbr", 44100, 2, 1152},  // 128 kb/s
    {"vbr", 44100, 2, 1152},  // lame -V 2, with a Xing frame
    {"22k", 22050, 1, 576},   // 64 kb/s MPEG-2 mono
};

std::wstring Fixture(const HeardFile& file, const wchar_t* extension) {
    std::wstring name = L"pink-";
    for (const char* c = file.name; *c; ++c) name += static_cast<wchar_t>(*c);
    return FixturePath((name + extension).c_str());
}

int64_t Frames(int ms, int rate) { return int64_t(ms) * rate / 1000; }
double Ms(int64_t frames, int rate) { return frames * 1000.0 / rate; }

class Hearing : public ProgramTest, public ::testing::WithParamInterface<HeardFile> {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        session = CurrentRecording();
        ASSERT_TRUE(session.Valid()) << "no recording: run this test through scripts/with-pulse";
        ASSERT_EQ(GetParam().rate, session.rate);
        ASSERT_EQ(GetParam().channels, session.channels);
        // Both tests of an entry share one recording: each listens from its own start.
        recordedBefore = RecordedFrames(session);
        source = ReadRawPcm(Fixture(GetParam(), L".raw"), session.rate, session.channels);
        ASSERT_GT(source.Frames(), 5 * session.rate);
    }
    // The recording up to now, once the sound server has had time to write what was played.
    std::vector<HeardStretch> Heard() {
        PumpMessages(300);
        PcmSamples recording = ReadRawPcm(session.path, session.rate, session.channels);
        recording.samples.erase(recording.samples.begin(),
                                recording.samples.begin() + std::clamp<int64_t>(recordedBefore, 0, recording.Frames()) * session.channels);
        EXPECT_GT(recording.Frames(), 0);
        std::vector<HeardStretch> heard = LocateHeard(recording, source, session.rate / 100);
        ReportGaps(heard);
        return heard;
    }
    // Each stretch also with where it begins in the whole recording, the time scripts/with-pulse
    // gives each stall of the machine it saw.
    void PrintHeard(const std::vector<HeardStretch>& heard) {
        const int rate = session.rate;
        printf("  heard (@ seconds into the recording, source ms, pause before in ms):\n");
        for (const HeardStretch& s : heard)
            printf("  @ %7.3f  %9.1f .. %9.1f  pause %6.1f (silent %6.1f, damaged %6.1f)\n",
                   (recordedBefore + s.recordedStart) / double(rate), Ms(s.sourceStart, rate), Ms(s.SourceEnd(), rate),
                   Ms(s.silentBefore + s.damagedBefore, rate), Ms(s.silentBefore, rate), Ms(s.damagedBefore, rate));
    }
    // A gap (the sound stopped and went on where it stopped) fails here, unless scripts/with-pulse
    // can tell whether the machine itself stood still then: then it is noted, in seconds into the
    // whole recording, for the script to judge.
    void ReportGaps(const std::vector<HeardStretch>& heard) {
        FILE* noted = nullptr;
        if (!session.gapsPath.empty()) {
            noted = _wfopen(session.gapsPath.c_str(), L"a");
            ASSERT_NE(nullptr, noted) << "the gaps' file";
        }
        for (const HeardStretch& s : heard) {
            if (!s.continues) continue;
            const double from = (recordedBefore + s.GapStart()) / double(session.rate);
            const double to = (recordedBefore + s.recordedStart) / double(session.rate);
            printf("  gap @ %.4f .. %.4f (%.1f ms)\n", from, to, (to - from) * 1000);
            if (noted)
                fprintf(noted, "gap %.4f %.4f\n", from, to);
            else
                ADD_FAILURE() << "the sound stopped at " << from << " s into the recording for " << (to - from) * 1000 << " ms";
        }
        if (noted) fclose(noted);
    }
    RecordingSession session;
    int64_t recordedBefore = 0;
    PcmSamples source;
};

// The recording frame being played when a command is given.
int64_t CommandAt(const RecordingSession& session, UINT command) {
    const int64_t recorded = RecordedFrames(session);
    SendMessageW(theApp.mainWindow, WM_COMMAND, command, 0);
    return recorded;
}

// A stretch heard after a jump to `target` (a source frame): the file's own sound from the target
// on, so that nothing of it is missing or damaged, and nothing before it: neither the decoder's
// lead (the frames a seek delivers before the target's frame so that the decoder has its history)
// nor the part of the target's frame before the target. Before it only silence, no longer than
// the 30 ms start margin and 50 ms for Wine's output to pick up the new segment; Wine's own
// restart (200 ms) or an unused lead would exceed it.
void ExpectCleanFrom(const HeardFile& file, const HeardStretch& stretch, int64_t target) {
    EXPECT_EQ(target, stretch.sourceStart);
    EXPECT_EQ(0, stretch.damagedBefore);
    EXPECT_LT(Ms(stretch.silentBefore, file.rate), 80.0) << "the pause before the stretch";
}

TEST_P(Hearing, TheLoopPlaysTheMarkedStretchWholeEveryTime) {
    const HeardFile& file = GetParam();
    const int rate = file.rate;
    std::wstring folder = MakeTempFolder(L"clipvane-hearing");
    std::wstring path = folder + L"\\song.mp3";
    ASSERT_TRUE(CopyFileW(Fixture(file, L".mp3").c_str(), path.c_str(), FALSE));
    theApp.volume = 0;
    theApp.bMute = FALSE;
    theApp.OpenFile(path.c_str());
    ASSERT_EQ(Playing, theApp.playState);

    // ↑ twice while listening, 1.3 s apart, at times that fall anywhere within their frames.
    ASSERT_TRUE(PumpUntil([] { return theApp.graph->GetPositionMs() >= 1937; }, 5000));
    const int64_t pressA = CommandAt(session, IDM_MARK_AB) - recordedBefore;
    ASSERT_TRUE(PumpUntil([] { return theApp.graph->GetPositionMs() >= theApp.pointA + 1300; }, 5000));
    const int64_t pressB = CommandAt(session, IDM_MARK_AB) - recordedBefore;
    const int a = theApp.pointA, b = theApp.pointB;
    ASSERT_GT(b, a);
    constexpr int repetitions = 6;
    PumpMessages(DWORD(repetitions * (b - a + 300) + 400));
    theApp.Stop();
    std::vector<HeardStretch> heard = Heard();

    const int64_t aFrame = Frames(a, rate), bFrame = Frames(b, rate);
    const int64_t lateEnd = bFrame + file.samplesPerFrame + Frames(30, rate);
    printf("%s: A %d ms, B %d ms\n", file.name, a, b);
    PrintHeard(heard);

    // The first pass, from the start of the file to B, with no sample lost, played twice or
    // damaged: each of its stretches continues the one before it, after a gap (judged in Heard; a
    // device started with the first graph's renderer tore pieces out of the first second). It plays
    // out longer than the repetitions (measured B + 63-116 ms).
    size_t firstLoop = 0;
    while (firstLoop < heard.size() && heard[firstLoop].SourceEnd() < bFrame) ++firstLoop;
    ASSERT_LT(firstLoop, heard.size());
    // The decoder's first frame begins with its own start-up (4-9 ms that match no part of the decode).
    EXPECT_LT(heard[0].sourceStart, file.samplesPerFrame) << "the first pass starts at the file's start";
    for (size_t i = 1; i <= firstLoop; ++i) EXPECT_TRUE(heard[i].continues) << "the first pass, stretch " << i;
    ++firstLoop;
    while (firstLoop < heard.size() && heard[firstLoop].continues) ++firstLoop;
    printf("  the program counts %.1f ms from its output to the ear\n", OutputLatency() / 10000.0);
    // ↑ marked what was being heard: the source sample the recording held at each press.
    for (auto [press, point] : {std::pair{pressA, a}, std::pair{pressB, b}}) {
        const HeardStretch* during = nullptr;
        for (const HeardStretch& s : heard)
            if (s.recordedStart <= press && press < s.recordedEnd) during = &s;
        ASSERT_NE(nullptr, during) << "nothing was heard at the press that marked " << point << " ms";
        const double heardThen = Ms(during->sourceStart + press - during->recordedStart, rate);
        printf("  the press that marked %d ms came while %.1f ms was heard\n", point, heardThen);
        EXPECT_NEAR(heardThen, point, 30.0) << "the press that marked " << point << " ms";
    }
    // Every repetition: all of [A, B) and nothing before A, ending between B and one frame and
    // 30 ms after it; the last one may be cut short by the stop. A repetition with a gap goes on
    // in the stretches that continue it; it is broken, and its gap judged as such (Heard), so its
    // end says nothing of the program's.
    int repetitionsHeard = 0;
    for (size_t i = firstLoop; i < heard.size(); ++i) {
        ExpectCleanFrom(file, heard[i], aFrame);
        ++repetitionsHeard;
        const size_t first = i;
        while (i + 1 < heard.size() && heard[i + 1].continues) ++i;
        if (i == first && i + 1 < heard.size()) {
            EXPECT_GE(heard[i].SourceEnd(), bFrame) << "repetition " << repetitionsHeard;
            EXPECT_LE(heard[i].SourceEnd(), lateEnd) << "repetition " << repetitionsHeard;
        }
    }
    EXPECT_GE(repetitionsHeard, repetitions);
}

// Continuous playback, then a seek while running: from the target on, the sound is the file's,
// sample for sample, as continuous playback gives it.
TEST_P(Hearing, ASeekSoundsAsContinuousPlaybackFromTheTargetFrame) {
    const HeardFile& file = GetParam();
    PlaybackGraph graph;
    ASSERT_EQ(S_OK, graph.Open(Fixture(file, L".mp3").c_str(), PreferredParser));
    graph.SetVolume(0);
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    PumpMessages(800);
    constexpr int target = 3217;
    graph.SeekMs(target);
    PumpMessages(1500);
    graph.Stop();
    graph.Close();
    std::vector<HeardStretch> heard = Heard();
    printf("%s: a seek to %d ms\n", file.name, target);
    PrintHeard(heard);

    // The seek's stretch is the one heard from nearest the target.
    const int64_t targetFrame = Frames(target, file.rate);
    ASSERT_GE(heard.size(), 2u);
    const HeardStretch& after = *std::min_element(heard.begin(), heard.end(), [&](const HeardStretch& x, const HeardStretch& y) {
        return std::llabs(x.sourceStart - targetFrame) < std::llabs(y.sourceStart - targetFrame);
    });
    ExpectCleanFrom(file, after, targetFrame);
    int64_t heardFromTarget = after.Length();
    for (auto next = heard.begin() + (&after - heard.data()) + 1; next != heard.end() && next->continues; ++next)
        heardFromTarget += next->Length();
    EXPECT_GE(heardFromTarget, Frames(1000, file.rate));
    printf("%s: after the seek %.1f ms silent, %.1f ms damaged, then from %.1f ms\n", file.name,
           Ms(after.silentBefore, file.rate), Ms(after.damagedBefore, file.rate), Ms(after.sourceStart, file.rate));
}

double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

// Once a graph has played, the sound device runs on: a buffer started now plays in step with the
// clock from its first Play, its cursor at most one of the engine's periods ahead (measured 1-15
// ms), where a new device's mixer leaps ahead to fill the audio engine (55-61 ms ahead; 80 ms of
// cursor within the first 20 ms). The ALSA null device of the other tests consumes sound faster
// than real time, so this is measured here only.
TEST_P(Hearing, ABufferStartedAfterAGraphHasPlayedRunsInStepWithTheClock) {
    PlaybackGraph graph;
    ASSERT_EQ(S_OK, graph.Open(Fixture(GetParam(), L".mp3").c_str(), PreferredParser));
    graph.Close();
    ComPtr<IDirectSound8> device;
    ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, device.Put(), nullptr));
    ASSERT_EQ(DS_OK, device->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY));
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, DWORD(GetParam().rate), DWORD(GetParam().rate) * 2, 2, 16, 0};
    DSBUFFERDESC description = {sizeof description, DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2,
                                format.nAvgBytesPerSec, 0, &format, {}};
    ComPtr<IDirectSoundBuffer> buffer;
    ASSERT_EQ(DS_OK, device->CreateSoundBuffer(&description, buffer.Put(), nullptr));
    const double started = NowMs();
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    double furthestAhead = -1000;
    while (NowMs() - started < 200) {
        DWORD played = 0, writable = 0;
        ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&played, &writable));
        const double cursorMs = played * 1000.0 / format.nAvgBytesPerSec;
        furthestAhead = std::max(furthestAhead, cursorMs - (NowMs() - started));
        Sleep(2);
    }
    buffer->Stop();
    printf("%s: a new buffer's cursor ran at most %.1f ms ahead of the clock\n", GetParam().name, furthestAhead);
    EXPECT_LT(furthestAhead, 30.0);
}

INSTANTIATE_TEST_SUITE_P(PinkNoise, Hearing, ::testing::ValuesIn(heardFiles),
                         [](const ::testing::TestParamInfo<HeardFile>& info) { return std::string(info.param.name); });

}  // namespace
