// Feeds mutated fixtures and random bytes into every parser entry point for a bounded
// time. Deterministic sequence (fixed seed); the time bound only decides how far it gets.
// Crashes and memory errors are what it looks for (run it in the sanitizer build too);
// it also checks the invariants every result must keep.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

constexpr auto kBudget = std::chrono::seconds(15);
constexpr size_t kMaxInput = 48 * 1024;

const char* const kMagics[] = {
    "ID3",  "3DI",  "TAG",       "APETAGEX",         "LYRICSBEGIN",      "LYRICSEND",        "LYRICS200", "Xing",
    "Info", "VBRI", "LAME3.100", "\xFF\xFB\x90\x64", "\xFF\xF3\x40\xC4", "\xFF\xFD\x14\x04", "\xFF\xE3"};

class Mutator {
public:
    explicit Mutator(uint32_t seed) : rng_(seed) {}
    size_t Below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    uint8_t Byte() { return uint8_t(Below(256)); }

    void Mutate(std::vector<uint8_t>& data) {
        const size_t steps = 1 + Below(8);
        for (size_t s = 0; s < steps; ++s) {
            switch (Below(9)) {
            case 0:  // flip bits
                if (!data.empty()) data[Below(data.size())] ^= uint8_t(1u << Below(8));
                break;
            case 1:  // overwrite with random bytes
                for (size_t i = 0, n = Below(32); i < n && !data.empty(); ++i) data[Below(data.size())] = Byte();
                break;
            case 2: {  // plant a magic string, often at the end where tails are read
                const std::string magic = kMagics[Below(sizeof kMagics / sizeof kMagics[0])];
                size_t at =
                    Below(2) ? Below(data.size() + 1) : data.size() - Below(std::min<size_t>(data.size(), 160) + 1);
                if (at + magic.size() > data.size()) data.resize(at + magic.size());
                std::copy(magic.begin(), magic.end(), data.begin() + long(at));
                break;
            }
            case 3:  // truncate
                data.resize(Below(data.size() + 1));
                break;
            case 4: {  // delete a chunk
                if (data.empty()) break;
                const size_t at = Below(data.size());
                data.erase(data.begin() + long(at), data.begin() + long(std::min(data.size(), at + 1 + Below(2000))));
                break;
            }
            case 5: {  // duplicate a chunk
                if (data.empty()) break;
                const size_t at = Below(data.size());
                const size_t n = std::min(data.size() - at, 1 + Below(3000));
                std::vector<uint8_t> chunk(data.begin() + long(at), data.begin() + long(at + n));
                data.insert(data.begin() + long(Below(data.size() + 1)), chunk.begin(), chunk.end());
                break;
            }
            case 6:  // sizes: big-endian/syncsafe/little-endian fields of extreme values
                if (data.size() >= 4) {
                    const size_t at = Below(data.size() - 3);
                    const uint8_t v = Below(2) ? 0xFF : 0x7F;
                    for (int i = 0; i < 4; ++i) data[at + size_t(i)] = v;
                }
                break;
            case 7:  // a run of sync bytes
                for (size_t i = 0, at = Below(data.size() + 1), n = Below(16); i < n && at + i < data.size(); ++i)
                    data[at + i] = 0xFF;
                break;
            default:  // append random bytes
                for (size_t i = 0, n = Below(300); i < n; ++i) data.push_back(Byte());
                break;
            }
        }
        if (data.size() > kMaxInput) data.resize(kMaxInput);
    }

    std::vector<uint8_t> Random() {
        std::vector<uint8_t> data(Below(4096));
        for (uint8_t& b : data) b = Below(4) == 0 ? 0xFF : Byte();
        return data;
    }

    std::mt19937& Engine() { return rng_; }

private:
    std::mt19937 rng_;
};

// Every entry point on one input; checks the invariants of each result.
void Exercise(const std::vector<uint8_t>& data, Mutator& m) {
    const mp3::ByteView view(data);
    mp3::MemorySource source(view);
    const uint64_t size = data.size();

    for (size_t i = 0; i + 4 <= data.size() && i < 64; ++i) {
        if (const auto h = mp3::ParseFrameHeader(view.Sub(i)); h && !h->FreeFormat()) {
            ASSERT_GT(h->FrameLength(), 0);
            ASSERT_LE(h->FrameLength(), mp3::kMaxFrameLength);
            const mp3::ByteView frame = view.Sub(i, size_t(h->FrameLength()));
            (void)mp3::CheckFrameCrc(*h, frame);
            if (const auto info = mp3::ParseInfoFrame(*h, frame)) {
                if (info->lame) {
                    ASSERT_LE(info->lame->offsetInFrame + mp3::kLameTagSize, frame.size);
                }
            }
        }
    }
    (void)mp3::ParseId3v2Header(view);
    (void)mp3::ParseId3v2Footer(view.Sub(size >= 10 ? size_t(size - 10) : 0));
    (void)mp3::ParseVbri(view);

    for (const mp3::TagInfo& t : mp3::FindLeadingTags(source)) ASSERT_LE(t.range.End(), size);
    const uint64_t floor = m.Below(size_t(size) + 1);
    const mp3::TailTags tail = mp3::FindTailTags(source, floor);
    ASSERT_GE(tail.audioEnd, std::min(floor, size));
    ASSERT_LE(tail.audioEnd, size);
    uint64_t at = tail.audioEnd;
    for (const mp3::TagInfo& t : tail.tags) {
        ASSERT_EQ(t.range.offset, at);
        at = t.range.End();
    }
    ASSERT_EQ(at, size);

    mp3::ScanOptions options;
    options.confirmFrames = int(m.Below(5));
    const uint64_t begin = m.Below(size_t(size) + 1) / 4;
    uint64_t expect = begin;
    for (const mp3::ScanEvent& e : mp3test::ScanAll(source, begin, size, options)) {
        ASSERT_EQ(e.offset, expect);
        expect += e.size;
        ASSERT_LE(expect, size);
        if (e.kind == mp3::ScanEvent::Kind::Frame) {
            ASSERT_EQ(e.size, uint64_t(e.header.FrameLength()));
        }
    }
    ASSERT_EQ(expect, std::max(begin, size));

    const mp3::IndexResult result = mp3::BuildFrameIndex(source, options);
    const mp3::FrameIndex& index = result.index;
    for (size_t i = 0; i < index.FrameCount(); ++i) {
        ASSERT_LE(index.FrameOffset(i) + index.FrameSize(i), size);
        if (i > 0) {
            ASSERT_GT(index.FrameOffset(i), index.FrameOffset(i - 1));
        }
    }
    if (index.FrameCount() > 0) {
        const int64_t probes[] = {INT64_MIN, -1, 0, 1, index.DurationUnits(), INT64_MAX, int64_t(m.Engine()()) * 1000};
        for (int64_t t : probes) {
            ASSERT_LT(index.FrameAtUnits(t), index.FrameCount());
            ASSERT_LT(index.FrameAtMs(t), index.FrameCount());
            ASSERT_LT(index.FrameAtSample(t), index.FrameCount());
        }
    }
    const auto& layout = index.Layout();
    ASSERT_LE(layout.audioStart, layout.audioEnd);
    ASSERT_LE(layout.audioEnd, size);

    if (result.ok()) {
        mp3::InfoFrameRequest wanted;
        wanted.like = index.StreamHeader();
        wanted.frames = uint32_t(m.Engine()());
        wanted.bytes = uint32_t(m.Engine()());
        if (m.Below(2))
            wanted.toc = mp3::BuildToc(index.FrameCount(), index.AudioBytes(),
                                       [&](uint64_t f) { return index.FrameOffset(size_t(f)) - index.FrameOffset(0); });
        if (m.Below(2)) wanted.lame = mp3::LameFields{"", int(m.Engine()()), int(m.Engine()()), 0, 0, 0};
        const std::vector<uint8_t> frame = mp3::BuildInfoFrame(wanted);
        if (!frame.empty()) {
            const auto h = mp3::ParseFrameHeader(mp3::ByteView(frame));
            ASSERT_TRUE(h);
            const auto info = mp3::ParseInfoFrame(*h, mp3::ByteView(frame));
            ASSERT_TRUE(info && info->xing);
            ASSERT_EQ(info->xing->frames, wanted.frames);
        }
    }
}

TEST(Fuzz, MutatedFixturesAndRandomBytes) {
    const char* seeds[] = {"cbr128.mp3", "vbr.mp3",     "mpeg2.mp3",     "mpeg25.mp3", "speech.mp3",
                           "bigtag.mp3", "garbage.mp3", "truncated.mp3", "crc.mp3",    "layer2-b.mp2"};
    std::vector<std::vector<uint8_t>> corpus;
    for (const char* name : seeds) {
        if (!mp3test::FixtureExists(name)) continue;
        std::vector<uint8_t> data = mp3test::ReadFixture(name);
        // The start (tags, information frame, first frames) and the end (tail tags).
        std::vector<uint8_t> head(data.begin(), data.begin() + long(std::min<size_t>(data.size(), kMaxInput / 2)));
        std::vector<uint8_t> tail(data.end() - long(std::min<size_t>(data.size(), 8192)), data.end());
        corpus.push_back(head);
        mp3test::Append(head, tail);
        corpus.push_back(head);
    }
    ASSERT_GE(corpus.size(), 10u);
    Mutator m(20261207);
    const auto start = std::chrono::steady_clock::now();
    size_t runs = 0;
    while (std::chrono::steady_clock::now() - start < kBudget) {
        std::vector<uint8_t> input = m.Below(8) == 0 ? m.Random() : corpus[m.Below(corpus.size())];
        m.Mutate(input);
        Exercise(input, m);
        if (HasFatalFailure()) {
            ADD_FAILURE() << "failed on run " << runs << ", input of " << input.size() << " bytes";
            return;
        }
        ++runs;
    }
    std::printf("fuzz runs: %zu\n", runs);
    EXPECT_GT(runs, 50u);
}

}  // namespace
