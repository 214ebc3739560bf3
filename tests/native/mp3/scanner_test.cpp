#include <gtest/gtest.h>

#include <fstream>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

using Kind = mp3::ScanEvent::Kind;
using mp3test::Append;
using mp3test::ScanAll;

// Every byte of the region lies in exactly one event, in order.
void ExpectContiguous(const std::vector<mp3::ScanEvent>& events, uint64_t begin, uint64_t end) {
    uint64_t at = begin;
    for (const mp3::ScanEvent& e : events) {
        ASSERT_EQ(e.offset, at);
        ASSERT_GT(e.size, 0u);
        at += e.size;
    }
    EXPECT_EQ(at, end);
}

std::vector<mp3::ScanEvent> OfKind(const std::vector<mp3::ScanEvent>& events, Kind kind) {
    std::vector<mp3::ScanEvent> out;
    for (const mp3::ScanEvent& e : events)
        if (e.kind == kind) out.push_back(e);
    return out;
}

// Counts what the scanner asks of its source.
class CountingSource : public mp3::ByteSource {
public:
    explicit CountingSource(mp3::ByteSource& inner) : inner_(inner) {}
    uint64_t Size() const override { return inner_.Size(); }
    size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
        largestRead = std::max(largestRead, count);
        reads.push_back(count);
        const size_t n = inner_.ReadAt(offset, buffer, count);
        totalRead += n;
        return n;
    }
    size_t largestRead = 0;
    uint64_t totalRead = 0;
    std::vector<size_t> reads;  // the count asked each time

private:
    mp3::ByteSource& inner_;
};

// Delivers nothing from `failAt` on, although its size says more is there.
class FailingSource : public mp3::ByteSource {
public:
    FailingSource(mp3::ByteSource& inner, uint64_t failAt) : inner_(inner), failAt_(failAt) {}
    uint64_t Size() const override { return inner_.Size(); }
    size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
        if (offset >= failAt_) return 0;
        return inner_.ReadAt(offset, buffer, size_t(std::min<uint64_t>(count, failAt_ - offset)));
    }

private:
    mp3::ByteSource& inner_;
    uint64_t failAt_;
};

TEST(Scanner, GarbageBeforeAndBetweenFramesIsSkippedExactly) {
    std::vector<mp3::ByteRange> garbage;
    std::ifstream ranges(mp3test::FixturePath("garbage.txt"));
    for (uint64_t offset, size; ranges >> offset >> size;) garbage.push_back({offset, size});
    ASSERT_EQ(garbage.size(), 3u);
    mp3test::FixtureFile f("garbage.mp3");
    ASSERT_TRUE(f.IsOpen());
    const uint64_t size = f.Source().Size();
    const std::vector<mp3::ScanEvent> events = ScanAll(f.Source(), 0, size);
    ExpectContiguous(events, 0, size);
    const std::vector<mp3::ScanEvent> skipped = OfKind(events, Kind::Skipped);
    ASSERT_EQ(skipped.size(), garbage.size());
    for (size_t i = 0; i < garbage.size(); ++i)
        EXPECT_EQ((mp3::ByteRange{skipped[i].offset, skipped[i].size}), garbage[i]) << i;
    EXPECT_TRUE(OfKind(events, Kind::Truncated).empty());
    EXPECT_GT(OfKind(events, Kind::Frame).size(), 300u);  // three pieces of 3 s
}

TEST(Scanner, TruncatedLastFrameIsReported) {
    mp3test::FixtureFile f("truncated.mp3");
    ASSERT_TRUE(f.IsOpen());
    const uint64_t size = f.Source().Size();
    const std::vector<mp3::ScanEvent> events = ScanAll(f.Source(), 0, size);
    ExpectContiguous(events, 0, size);
    ASSERT_FALSE(events.empty());
    const mp3::ScanEvent& last = events.back();
    ASSERT_EQ(last.kind, Kind::Truncated);
    EXPECT_EQ(uint64_t(last.header.FrameLength()) - last.size, 150u);  // the script cut 150 bytes
    EXPECT_TRUE(OfKind(events, Kind::Skipped).empty());
    const mp3::IndexResult index = mp3::BuildFrameIndex(f.Source());
    ASSERT_TRUE(index.ok());
    EXPECT_TRUE(index.index.HasTruncatedFrame());
    EXPECT_EQ(index.index.TruncatedFrame().offset, last.offset);
    EXPECT_EQ(index.index.FrameCount(), OfKind(events, Kind::Frame).size());
}

TEST(Scanner, FalseSyncInsideAnId3v2PictureIsSkipped) {
    const std::vector<uint8_t> file = mp3test::ReadFixture("bigtag.mp3");
    mp3::MemorySource source{mp3::ByteView(file)};
    const mp3::AnalyzeResult a = mp3::AnalyzeStream(source);
    ASSERT_TRUE(a.ok());
    const uint64_t tagEnd = a.layout.id3v2Size;
    ASSERT_GT(tagEnd, 20000u);
    EXPECT_EQ(a.layout.firstFrameOffset, tagEnd);
    // The picture really holds two chained frames (the bait the fixture script planted).
    size_t bait = 0;
    for (size_t i = 10; i + 4 < tagEnd && bait == 0; ++i) {
        const auto h = mp3::ParseFrameHeader(mp3::ByteView(file).Sub(i));
        if (!h || i + h->FrameLength() + 4 > tagEnd) continue;
        const auto next = mp3::ParseFrameHeader(mp3::ByteView(file).Sub(i + size_t(h->FrameLength())));
        if (next && mp3::SameStream(*h, *next)) bait = i;
    }
    ASSERT_NE(bait, 0u) << "no planted frames in the picture";
    // Scanning the whole file without knowing about the tag still finds the real start.
    const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, file.size());
    const std::vector<mp3::ScanEvent> frames = OfKind(events, Kind::Frame);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front().offset, tagEnd);
    EXPECT_EQ(events.front().kind, Kind::Skipped);
}

TEST(Scanner, EmptyAndNonMp3Input) {
    for (const char* name : {"empty.mp3", "notmp3.mp3"}) {
        SCOPED_TRACE(name);
        mp3test::FixtureFile f(name);
        ASSERT_TRUE(f.IsOpen());
        const std::vector<mp3::ScanEvent> events = ScanAll(f.Source(), 0, f.Source().Size());
        EXPECT_TRUE(OfKind(events, Kind::Frame).empty());
        const mp3::Status expected = f.Source().Size() == 0 ? mp3::Status::Empty : mp3::Status::NoAudio;
        EXPECT_EQ(mp3::AnalyzeStream(f.Source()).status, expected);
        const mp3::IndexResult index = mp3::BuildFrameIndex(f.Source());
        EXPECT_EQ(index.status, expected);
        EXPECT_EQ(index.index.FrameCount(), 0u);
        EXPECT_EQ(index.index.FrameAtMs(1000), 0u);
        EXPECT_EQ(index.index.DurationUnits(), 0);
    }
    mp3::FileSource closed(nullptr);
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_EQ(mp3::AnalyzeStream(closed).status, mp3::Status::Empty);
}

TEST(Scanner, FrameCutShortByTheNextFrameIsSkipped) {
    std::vector<uint8_t> stream = mp3test::SilentStream(20);
    const size_t frameLength = 417;  // frame 9 (index 9 % 3 == 0) is unpadded
    size_t frame9 = 0;
    for (int i = 0; i < 9; ++i) frame9 += i % 3 == 1 ? 418 : 417;
    // Drop the second half of frame 9: frame 10 now starts inside it.
    stream.erase(stream.begin() + long(frame9 + 200), stream.begin() + long(frame9 + frameLength));
    mp3::MemorySource source{mp3::ByteView(stream)};
    const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, stream.size());
    ExpectContiguous(events, 0, stream.size());
    const std::vector<mp3::ScanEvent> skipped = OfKind(events, Kind::Skipped);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].offset, frame9);
    EXPECT_EQ(skipped[0].size, 200u);
    EXPECT_EQ(OfKind(events, Kind::Frame).size(), 19u);
}

TEST(Scanner, FewerConfirmationsSufficeAtTheEnd) {
    for (int count : {1, 2, 3}) {
        std::vector<uint8_t> stream = mp3test::SilentStream(count);
        mp3::MemorySource source{mp3::ByteView(stream)};
        const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, stream.size());
        EXPECT_EQ(OfKind(events, Kind::Frame).size(), size_t(count)) << count;
    }
}

TEST(Scanner, LoneHeadersInGarbageAreNotFrames) {
    // A valid header followed by a frame's worth of zeros and then garbage: no chain.
    std::vector<uint8_t> data =
        mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100, mp3::ChannelMode::Stereo);
    for (int i = 0; i < 3000; ++i) data.push_back(uint8_t(i * 7 + 3));
    const size_t audioAt = data.size();
    Append(data, mp3test::SilentStream(10));
    mp3::MemorySource source{mp3::ByteView(data)};
    const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, data.size());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].kind, Kind::Skipped);
    EXPECT_EQ(events[0].size, audioAt);
    EXPECT_EQ(OfKind(events, Kind::Frame).size(), 10u);
}

TEST(Scanner, StreamsThroughABoundedBuffer) {
    mp3test::FixtureFile f("vbr.mp3");
    ASSERT_TRUE(f.IsOpen());
    CountingSource counting(f.Source());
    mp3::ScanOptions options;
    options.bufferSize = 64 * 1024;
    const std::vector<mp3::ScanEvent> events = ScanAll(counting, 0, counting.Size(), options);
    EXPECT_GT(OfKind(events, Kind::Frame).size(), 400u);
    EXPECT_LE(counting.largestRead, options.bufferSize);
    EXPECT_LE(counting.totalRead, counting.Size() + 64 * 1024);  // each byte read about once
}

// A first read cut short may only change what is read, never what is found: garbage in
// front, free-format frames (measured over 6 kB at once) and a truncated end among them.
TEST(Scanner, AShortFirstReadFindsTheSameEvents) {
    for (const char* name : {"vbr.mp3", "garbage.mp3", "freeformat.mp3", "truncated.mp3", "layer2-a.mp2"}) {
        for (const size_t first : {size_t(1), size_t(1000)}) {
            SCOPED_TRACE(std::string(name) + ", first read " + std::to_string(first));
            const std::vector<uint8_t> bytes = mp3test::ReadFixture(name);
            mp3::MemorySource memory{mp3::ByteView(bytes)};
            mp3::ScanOptions options;
            options.bufferSize = 64 * 1024;
            const std::vector<mp3::ScanEvent> whole = ScanAll(memory, 0, bytes.size(), options);
            options.firstReadSize = first;
            CountingSource counting(memory);
            const std::vector<mp3::ScanEvent> shortFirst = ScanAll(counting, 0, bytes.size(), options);
            ASSERT_EQ(shortFirst.size(), whole.size());
            for (size_t i = 0; i < whole.size(); ++i) {
                EXPECT_EQ(shortFirst[i].kind, whole[i].kind) << i;
                EXPECT_EQ(shortFirst[i].offset, whole[i].offset) << i;
                EXPECT_EQ(shortFirst[i].size, whole[i].size) << i;
                EXPECT_EQ(shortFirst[i].header.raw, whole[i].header.raw) << i;
            }
            // The first look is at a header's 4 bytes: a smaller first read is raised to them.
            ASSERT_FALSE(counting.reads.empty());
            EXPECT_EQ(counting.reads[0], std::max<size_t>(first, 4));
            // Later reads fill the 64 kB buffer: each brings at least half of it.
            EXPECT_LE(counting.reads.size(), 2 + bytes.size() / (32 * 1024));
        }
    }
}

TEST(Scanner, ManyRefillsLoseNoFrame) {
    const std::vector<uint8_t> stream = mp3test::SilentStream(1000);  // ~417 KB through a 64 KB buffer
    mp3::MemorySource source{mp3::ByteView(stream)};
    mp3::ScanOptions options;
    options.bufferSize = 1;  // raised to the minimum
    const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, stream.size(), options);
    EXPECT_EQ(events.size(), 1000u);
    EXPECT_EQ(OfKind(events, Kind::Frame).size(), 1000u);
}

// Frames of one stream differ in bitrate, padding and channel mode; every two such headers
// stand side by side once, and each frame must come out with its own length.
TEST(Scanner, EveryPairOfNeighbouringHeadersKeepsItsOwnLength) {
    struct Shape {
        int kbps;
        bool padding;
        mp3::ChannelMode mode;
    };
    std::vector<Shape> shapes;
    for (int kbps : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})
        for (bool padding : {false, true})
            for (mp3::ChannelMode mode : {mp3::ChannelMode::Stereo, mp3::ChannelMode::JointStereo,
                                          mp3::ChannelMode::DualChannel, mp3::ChannelMode::Mono})
                shapes.push_back({kbps, padding, mode});
    std::vector<uint8_t> stream;
    std::vector<uint64_t> lengths;
    auto add = [&](const Shape& s) {
        Append(stream, mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, s.kbps, 48000, s.mode, s.padding));
        lengths.push_back(uint64_t(144 * s.kbps / 48 + (s.padding ? 1 : 0)));  // 1152 samples at 48 kHz
    };
    for (size_t i = 0; i < shapes.size(); ++i)
        for (size_t j = i + 1; j < shapes.size(); ++j) {
            add(shapes[i]);
            add(shapes[j]);
        }
    mp3::MemorySource source{mp3::ByteView(stream)};
    const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, stream.size());
    ASSERT_EQ(events.size(), lengths.size());
    uint64_t at = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        ASSERT_EQ(events[i].kind, Kind::Frame) << "frame " << i;
        ASSERT_EQ(events[i].offset, at) << "frame " << i;
        ASSERT_EQ(events[i].size, lengths[i]) << "frame " << i;
        at += lengths[i];
    }
}

// A free-format stream's last frame has no successor to measure it by; a header-like word
// inside it must not cut it short, which would leave the stream unreadable.
TEST(Scanner, LastFreeFormatFrameKeepsTheStreamsLength) {
    std::vector<uint8_t> frame =
        mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100, mp3::ChannelMode::JointStereo);
    frame[2] &= 0x0F;  // bitrate index 0: free format, 417 bytes
    std::vector<uint8_t> stream;
    for (int i = 0; i < 4; ++i) Append(stream, frame);
    std::copy(frame.begin(), frame.begin() + 4, stream.end() - 200);
    mp3::MemorySource source{mp3::ByteView(stream)};
    for (int confirm = 0; confirm <= 3; ++confirm) {
        mp3::ScanOptions options;
        options.confirmFrames = confirm;
        const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, stream.size(), options);
        ASSERT_EQ(events.size(), 4u) << "confirming " << confirm;
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(events[i].kind, Kind::Frame);
            EXPECT_EQ(events[i].offset, 417 * i);
            EXPECT_EQ(events[i].size, 417u);
        }
    }
}

// A free-format length is the distance to the next header, but a header-like word in a frame's
// data is not one: no frame follows it at that distance, and the search goes on to the next.
TEST(Scanner, HeaderLikeWordsInsideFreeFormatFramesAreSkipped) {
    std::vector<uint8_t> frame =
        mp3test::SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100, mp3::ChannelMode::JointStereo);
    frame[2] &= 0x0F;  // bitrate index 0: free format, 417 bytes
    for (const size_t inside : {size_t{100}, size_t{300}, size_t{417 * 2 + 60}, size_t{417 * 3 + 250}}) {
        std::vector<uint8_t> stream;
        for (int i = 0; i < 6; ++i) Append(stream, frame);
        std::copy(frame.begin(), frame.begin() + 4, stream.begin() + std::ptrdiff_t(inside));
        mp3::MemorySource source{mp3::ByteView(stream)};
        for (int confirm = 0; confirm <= 3; ++confirm) {
            mp3::ScanOptions options;
            options.confirmFrames = confirm;
            const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, stream.size(), options);
            ASSERT_EQ(events.size(), 6u) << "word at " << inside << ", confirming " << confirm;
            for (size_t i = 0; i < 6; ++i) {
                EXPECT_EQ(events[i].kind, Kind::Frame);
                EXPECT_EQ(events[i].offset, 417 * i);
                EXPECT_EQ(events[i].size, 417u);
            }
        }
    }
}

TEST(Scanner, ReadErrorStopsTheScanAndIsReported) {
    const std::vector<uint8_t> stream = mp3test::SilentStream(1000);
    mp3::MemorySource memory{mp3::ByteView(stream)};
    FailingSource failing(memory, 300000);
    const std::vector<mp3::ScanEvent> events = ScanAll(failing, 0, failing.Size());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::ReadError);
    EXPECT_EQ(mp3::BuildFrameIndex(failing).status, mp3::Status::ReadError);
}

bool SeekFar(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// Frames beyond 4 GiB in a sparse file: offsets never pass through 32 bits.
TEST(Scanner, FileSourceReadsBeyondFourGiB) {
    const std::string path = testing::TempDir() + "mp3_beyond_4gib.bin";
    const uint64_t at = (uint64_t(9) << 29) + 3;  // 4.5 GiB + 3
    const std::vector<uint8_t> stream = mp3test::SilentStream(10);
    std::FILE* f = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(f, nullptr);
    const bool written =
        SeekFar(f, at) && std::fwrite(stream.data(), 1, stream.size(), f) == stream.size() && std::fflush(f) == 0;
    if (!written) {
        std::fclose(f);
        std::remove(path.c_str());
        GTEST_SKIP() << "this file system does not take a sparse 4.5 GiB file";
    }
    {
        mp3::FileSource source(f);
        ASSERT_TRUE(source.IsOpen());
        EXPECT_EQ(source.Size(), at + stream.size());
        const std::vector<mp3::ScanEvent> events = ScanAll(source, at, source.Size());
        ASSERT_EQ(events.size(), 10u);
        EXPECT_EQ(events[0].offset, at);
        EXPECT_EQ(events[9].offset + events[9].size, at + stream.size());
        uint8_t header[4];
        ASSERT_TRUE(mp3::ReadExact(source, events[1].offset, header, 4));
        EXPECT_EQ(header[0], 0xFF);
    }
    std::fclose(f);
    std::remove(path.c_str());
}

TEST(Scanner, RegionBoundsAreHonoured) {
    const std::vector<uint8_t> stream = mp3test::SilentStream(10);
    mp3::MemorySource source{mp3::ByteView(stream)};
    // A region that ends inside frame 5: frames 0-4 and a truncated frame.
    const uint64_t end = 417 + 418 + 417 + 417 + 418 + 100;
    const std::vector<mp3::ScanEvent> events = ScanAll(source, 0, end);
    ExpectContiguous(events, 0, end);
    EXPECT_EQ(OfKind(events, Kind::Frame).size(), 5u);
    EXPECT_EQ(events.back().kind, Kind::Truncated);
    EXPECT_TRUE(ScanAll(source, 500, 400).empty());                   // end before begin
    EXPECT_EQ(ScanAll(source, 0, stream.size() + 1000).size(), 10u);  // end past the data
}

}  // namespace

namespace {

// A lead-in longer than the search limit means no audio, and the scan stops without reading on;
// within the limit the frames are found as ever.
TEST(Scanner, TheFirstFrameMustLieWithinTheLeadingLimit) {
    mp3test::FixtureFile f("longprefix.mp3");
    ASSERT_TRUE(f.IsOpen());
    const uint64_t size = f.Source().Size();
    struct Case {
        uint64_t limit;
        bool findsFrames;
    } cases[] = {{0, true}, {64 * 1024, false}, {512 * 1024, true}};
    for (const Case& c : cases) {
        mp3::ScanOptions options;
        options.maxLeadingSkip = c.limit;
        CountingSource counting(f.Source());
        mp3::FrameScanner scanner(counting, 0, size, options);
        std::vector<mp3::ScanEvent> events;
        for (mp3::ScanEvent e; scanner.Next(e);) events.push_back(e);
        ExpectContiguous(events, 0, size);
        EXPECT_EQ(!OfKind(events, Kind::Frame).empty(), c.findsFrames) << c.limit;
        if (!c.findsFrames) {
            EXPECT_LT(counting.totalRead, 2 * 64 * 1024 + 256 * 1024) << "read on past the limit";
        }
    }
}

}  // namespace
