// The file's stream taken from a sample of the audio must be the one the whole-file count
// gives, and where the sample cannot vouch for the whole file, the count must be made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

// Counts the bytes read through it.
class CountingSource : public mp3::ByteSource {
public:
    explicit CountingSource(mp3::ByteSource& inner) : inner_(inner) {}
    uint64_t Size() const override { return inner_.Size(); }
    size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
        const size_t got = inner_.ReadAt(offset, buffer, count);
        if (count > kSmallRead) largeReads.push_back(count);
        read += got;
        return got;
    }
    uint64_t read = 0;
    static constexpr size_t kSmallRead = 4096;  // tags and single frames
    std::vector<size_t> largeReads;

private:
    mp3::ByteSource& inner_;
};

void ExpectSameDecision(const mp3::MainStreamResult& a, const mp3::MainStreamResult& b) {
    ASSERT_EQ(a.status, b.status);
    if (!a.ok()) return;
    EXPECT_EQ(a.stream.header.raw, b.stream.header.raw);
    EXPECT_EQ(a.stream.frames, b.stream.frames);
    EXPECT_EQ(a.stream.bytes, b.stream.bytes);
    EXPECT_EQ(a.stream.firstFrameOffset, b.stream.firstFrameOffset);
    EXPECT_EQ(a.stream.infoFrameRange, b.stream.infoFrameRange);
    EXPECT_EQ(a.foreignFrames, b.foreignFrames);
    EXPECT_EQ(a.layout.firstAudioFrameOffset, b.layout.firstAudioFrameOffset);
    EXPECT_EQ(a.layout.estimatedFrames, b.layout.estimatedFrames);
    EXPECT_EQ(a.layout.estimatedDurationUnits, b.layout.estimatedDurationUnits);
    EXPECT_EQ(a.layout.info.has_value(), b.layout.info.has_value());
}

// Windows far smaller than the defaults, so that every fixture with an information frame is
// sampled rather than counted.
mp3::StreamSampling SmallWindows() {
    mp3::StreamSampling sampling;
    sampling.windows = 3;  // the first, the middle and the last
    sampling.windowBytes = 6000;
    sampling.minAudioBytes = 0;
    return sampling;
}

TEST(StreamSampling, EveryFixtureGetsTheStreamTheWholeCountGives) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CLIPVANE_FIXTURES)) {
        const std::string ext = entry.path().extension().string();
        // long.mp3 has a test of its own, with the real windows.
        if ((ext != ".mp3" && ext != ".mp2") || entry.path().filename() == "long.mp3") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<uint8_t> bytes = mp3test::ReadFixture(entry.path().filename().string());
        mp3::MemorySource source{mp3::ByteView(bytes)};
        ExpectSameDecision(mp3::FindMainStream(source, {}, SmallWindows()),
                           mp3::FindMainStream(source, {}, mp3::StreamSampling::WholeFile()));
        ++files;
    }
    EXPECT_GE(files, 20);
}

TEST(StreamSampling, AnHourLongFileIsDecidedFromAFewReads) {
    mp3test::FixtureFile file("long.mp3");
    ASSERT_TRUE(file.IsOpen());
    CountingSource sampled(file.Source());
    const mp3::MainStreamResult fast = mp3::FindMainStream(sampled);
    CountingSource counted(file.Source());
    ExpectSameDecision(fast, mp3::FindMainStream(counted, {}, mp3::StreamSampling::WholeFile()));
    EXPECT_GE(counted.read, file.Source().Size());
    EXPECT_LT(sampled.read, file.Source().Size() / 10);
    // The first frames in 16 kB; then each window its 32 kB, the largest frame across its end
    // and the header after it (32768 + 3072 + 4), the last one only up to the end of the audio:
    // 32 kB and what the even spacing of the 15 steps before it rounds off.
    const uint64_t spread = fast.layout.audioEnd - 32768 - fast.layout.infoFrameRange.End();
    std::vector<size_t> expected{16384};
    expected.insert(expected.end(), 15, 35844);
    expected.push_back(size_t(32768 + spread % 15));
    EXPECT_EQ(sampled.largeReads, expected);
}

// Silent MPEG-1 frames behind a Xing frame whose counts claim `frames` frames reaching to the
// end of the file.
std::vector<uint8_t> WithXing(const std::vector<uint8_t>& audio, uint32_t frames) {
    const std::vector<uint8_t> first = mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100,
                                                            mp3::ChannelMode::JointStereo);
    mp3::InfoFrameRequest wanted;
    wanted.like = *mp3::ParseFrameHeader(mp3::ByteView(first));
    wanted.frames = frames;
    wanted.bytes = uint32_t(audio.size());
    std::vector<uint8_t> file = mp3::BuildInfoFrame(wanted);
    mp3test::Append(file, audio);
    return file;
}

std::vector<uint8_t> ForeignFrames(int count) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i)
        mp3test::Append(out, mp3test::SilentFrame(mp3::Version::Mpeg2, mp3::Layer::III, 64, 22050,
                                                  mp3::ChannelMode::Mono));
    return out;
}

TEST(StreamSampling, WhatTheSampleCannotVouchForIsCounted) {
    const std::vector<uint8_t> plain = mp3test::SilentStream(400);
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        uint64_t frames;  // of the file's stream, counted by hand
    };
    // The other stream holds the most bytes, across the middle window.
    std::vector<uint8_t> foreign = mp3test::SilentStream(150);
    mp3test::Append(foreign, ForeignFrames(700));
    mp3test::Append(foreign, mp3test::SilentStream(150));
    // Past the start of the middle window: bytes before a window's first frame may be the end
    // of a frame, so garbage shorter than a frame right there would go unseen.
    std::vector<uint8_t> garbage = mp3test::SilentStream(205);
    mp3test::Append(garbage, std::string(700, 'x'));
    mp3test::Append(garbage, mp3test::SilentStream(195));
    std::vector<uint8_t> truncated = plain;
    truncated.resize(truncated.size() - 100);
    const Case cases[] = {
        {"another stream in the middle", WithXing(foreign, 300), 700},
        {"garbage in the middle", WithXing(garbage, 400), 400},
        {"a truncated last frame", WithXing(truncated, 400), 399},
        {"a frame count the stream cannot have", WithXing(plain, 40), 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mp3::MemorySource source{mp3::ByteView(c.file)};
        const mp3::MainStreamResult sampled = mp3::FindMainStream(source, {}, SmallWindows());
        ASSERT_TRUE(sampled.ok());
        EXPECT_EQ(sampled.stream.frames, c.frames);
        ExpectSameDecision(sampled, mp3::FindMainStream(source, {}, mp3::StreamSampling::WholeFile()));
    }
    // Where it can, the count is the Xing frame's (here one more than there are: the sample
    // cannot see that, which is why the windows are spread over a file of any length).
    const std::vector<uint8_t> sound = WithXing(plain, 401);
    mp3::MemorySource source{mp3::ByteView(sound)};
    EXPECT_EQ(mp3::FindMainStream(source, {}, SmallWindows()).stream.frames, 401u);
    EXPECT_EQ(mp3::FindMainStream(source, {}, mp3::StreamSampling::WholeFile()).stream.frames, 400u);
}

// Counts how often each byte of the file is read through it.
class RereadCounter : public mp3::ByteSource {
public:
    explicit RereadCounter(mp3::ByteSource& inner) : inner_(inner), times_(size_t(inner.Size())) {}
    uint64_t Size() const override { return inner_.Size(); }
    size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
        const size_t got = inner_.ReadAt(offset, buffer, count);
        for (size_t i = 0; i < got; ++i) ++times_[size_t(offset) + i];
        return got;
    }
    // The first byte of [begin, end) read more than once, or end.
    uint64_t FirstReread(uint64_t begin, uint64_t end) const {
        for (uint64_t at = begin; at < end; ++at)
            if (times_[size_t(at)] > 1) return at;
        return end;
    }

private:
    mp3::ByteSource& inner_;
    std::vector<uint8_t> times_;
};

// The stream is told by one pass over the frames: a stream's first frame, which may be its
// information frame, is taken from the scanner's buffer, not read again. (Tags are looked for
// in the first ten bytes of the audio and in its last bytes, which the pass reads too: those
// are left out.)
TEST(StreamSampling, TheFramesAreReadOnceToTellTheStream) {
    constexpr uint64_t kTailLook = 16 * 1024;
    for (const char* name : {"vbr.mp3", "cbr128.mp3", "twostreams.mp3", "jingle.mp3", "mixed.mp3", "long.mp3"}) {
        SCOPED_TRACE(name);
        mp3test::FixtureFile file(name);
        ASSERT_TRUE(file.IsOpen());
        RereadCounter counter(file.Source());
        const mp3::MainStreamResult result = mp3::FindMainStream(counter, {}, mp3::StreamSampling::WholeFile());
        ASSERT_TRUE(result.ok());
        const uint64_t end = result.layout.audioEnd - kTailLook;
        EXPECT_EQ(counter.FirstReread(result.layout.audioStart + mp3::kId3v2HeaderSize, end), end);
    }
}

// Records what an observer of FindMainStream's pass is shown.
class Recorder : public mp3::ScanObserver {
public:
    struct Sighting {
        mp3::ScanEvent event;
        size_t stream;
        bool infoFrame;
    };
    void Seen(const mp3::ScanEvent& event, size_t stream, bool infoFrame, mp3::ByteView bytes) override {
        seen.push_back({event, stream, infoFrame});
        if (!bytes.empty()) heldRight &= std::equal(bytes.begin(), bytes.end(), file.begin() + std::ptrdiff_t(event.offset));
        heldRight &= bytes.empty() || bytes.size == event.size;
    }
    std::vector<uint8_t> file;
    std::vector<Sighting> seen;
    bool heldRight = true;
};

TEST(StreamSampling, AnObserverSeesEveryEventWithTheNumberOfItsStream) {
    Recorder recorder;
    std::vector<uint8_t>& file = recorder.file;
    mp3test::Append(file, std::string(40, 'y'));
    mp3test::Append(file, ForeignFrames(5));
    const size_t infoAt = file.size();
    mp3test::Append(file, WithXing(mp3test::SilentStream(20), 20));
    mp3test::Append(file, std::string(300, 'x'));
    mp3test::Append(file, mp3test::SilentStream(10));
    mp3::MemorySource source{mp3::ByteView(file)};
    const mp3::MainStreamResult result = mp3::FindMainStream(source, {}, {}, &recorder);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.streamNumber, 1u);
    EXPECT_EQ(result.stream.frames, 30u);
    EXPECT_TRUE(recorder.heldRight);

    const std::vector<mp3::ScanEvent> scan = mp3test::ScanAll(source, 0, file.size());
    ASSERT_EQ(recorder.seen.size(), scan.size());
    ASSERT_EQ(scan.size(), 1u + 5 + 1 + 20 + 1 + 10);
    for (size_t i = 0; i < scan.size(); ++i) {
        SCOPED_TRACE(i);
        const Recorder::Sighting& seen = recorder.seen[i];
        EXPECT_EQ(seen.event.kind, scan[i].kind);
        EXPECT_EQ(seen.event.offset, scan[i].offset);
        EXPECT_EQ(seen.event.size, scan[i].size);
        const bool garbage = i == 0 || i == 27;
        EXPECT_EQ(seen.event.kind, garbage ? mp3::ScanEvent::Kind::Skipped : mp3::ScanEvent::Kind::Frame);
        EXPECT_EQ(seen.stream, garbage ? mp3::ScanObserver::kNoStream : i < 6 ? 0u : 1u);
        EXPECT_EQ(seen.infoFrame, i == 6);
    }
    EXPECT_EQ(recorder.seen[6].event.offset, infoAt);
}

// The observer is shown every frame, so no sample may stand in for the count.
TEST(StreamSampling, AnObserverGetsTheCountedPass) {
    Recorder recorder;
    recorder.file = WithXing(mp3test::SilentStream(400), 401);
    mp3::MemorySource source{mp3::ByteView(recorder.file)};
    const mp3::MainStreamResult observed = mp3::FindMainStream(source, {}, SmallWindows(), &recorder);
    EXPECT_EQ(observed.stream.frames, 400u);
    EXPECT_EQ(recorder.seen.size(), 401u);
}

}  // namespace
