// Frame-mode cuts played by a real gapless decoder: Debian's mpg123 decodes the source and the
// cut, with each synthesis decoder this machine has, and the cut must be exactly the source's
// samples from A to B.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tool_test_support.h"
#include "tools/mp3splt/cut_file.h"

namespace {

using tooltest::Mp3View;
using tooltest::ScratchDir;

// mpg123's gapless decode of a file with one of its synthesis decoders, kept in a scratch file
// (an hour of audio is 160 MB).
class GaplessDecode {
public:
    GaplessDecode(const std::string& mp3, const std::string& rawPath, int channels, const std::string& decoder = "")
        : path_(rawPath), channels_(channels) {
        std::vector<std::string> args = {"-q", "-O", rawPath, mp3};
        if (!decoder.empty()) args.insert(args.begin(), {"--cpu", decoder});
        tooltest::RunResult run = tooltest::RunTool("/usr/bin/mpg123", args);
        ok_ = run.exitCode == 0 && tooltest::Exists(rawPath);
    }
    bool ok() const { return ok_; }
    int64_t Samples() const {
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (!file) return -1;
        std::fseek(file, 0, SEEK_END);
        const long bytes = std::ftell(file);
        std::fclose(file);
        return bytes / (2 * channels_);
    }
    // `count` samples per channel from sample `first`, channels interleaved.
    std::vector<int16_t> Read(int64_t first, int64_t count) const {
        std::vector<int16_t> values(size_t(count * channels_));
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (!file) return {};
        std::fseek(file, long(first * channels_ * 2), SEEK_SET);
        values.resize(std::fread(values.data(), 2, values.size(), file));
        std::fclose(file);
        return values;
    }

private:
    std::string path_;
    int channels_;
    bool ok_ = false;
};

int64_t SampleAt(int64_t ms, int rate) { return ms * rate / 1000; }

// Where the source's gapless decode starts in its raw decoder output (see mp3/gapless.h).
int64_t GaplessBegin(const Mp3View& view) {
    if (!view.layout.info || !view.layout.info->lame) return 0;
    return view.layout.info->lame->encoderDelay + 529;
}

// The first millisecond from `fromMs` whose sample lies at `within` in its raw frame, or as near
// as the rate allows (at 8 kHz every millisecond is 8 samples): just after for a place near
// the frame's start, just before for its last sample.
int64_t StartAtFramePosition(const Mp3View& view, int64_t fromMs, int within) {
    const int rate = view.headers[0].sampleRate;
    const int spf = view.headers[0].SamplesPerFrame();
    int64_t best = fromMs;
    int bestDistance = spf;
    for (int64_t ms = fromMs; ms < fromMs + 2000; ++ms) {
        const int position = int((SampleAt(ms, rate) + GaplessBegin(view)) % spf);
        const int distance = within == spf - 1 ? (within - position + spf) % spf : (position - within + spf) % spf;
        if (distance < bestDistance) best = ms, bestDistance = distance;
    }
    return best;
}

struct Comparison {
    int64_t wanted = 0;
    int64_t got = 0;
    size_t differing = 0;  // values that differ
    int largest = 0;       // largest difference
    size_t firstDiffering = SIZE_MAX;
    size_t values = 0;
};

// The cut's decode against the source's [fromSample, toSample), both from `skip` samples in.
Comparison CompareCut(const GaplessDecode& source, const GaplessDecode& cut, int64_t fromSample, int64_t toSample,
                      int64_t skip = 0) {
    Comparison c;
    toSample = std::min(toSample, source.Samples());
    c.wanted = toSample - fromSample - skip;
    c.got = cut.Samples() - skip;
    std::vector<int16_t> expected = source.Read(fromSample + skip, c.wanted);
    std::vector<int16_t> actual = cut.Read(skip, std::min(c.got, c.wanted));
    c.values = actual.size();
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        const int difference = std::abs(actual[i] - expected[i]);
        if (difference == 0) continue;
        ++c.differing;
        c.largest = std::max(c.largest, difference);
        c.firstDiffering = std::min(c.firstDiffering, i);
    }
    return c;
}

// mpg123 sums its synthesis window in an order that follows its ring position (see
// mp3/gapless.h). Where the cut's decode stands at the source's position, or one the decoder
// cannot tell from it, the samples are the same; elsewhere a few in 100,000 round one step
// apart. Anything else (a missing granule or reservoir byte, a sample too many) differs by far
// more.
void ExpectSameAudio(const Comparison& c, bool exact = false) {
    EXPECT_EQ(c.got, c.wanted);
    EXPECT_LE(c.largest, exact ? 0 : 1) << "first difference at value " << c.firstDiffering;
    EXPECT_LE(c.differing, exact ? 0 : c.values / 1000 + 1) << "first difference at value " << c.firstDiffering;
}

// This machine's synthesis decoders and the ring alignment (mp3::RingAlignment) each needs to
// give the source's samples, as measured: the plain C one sums in ring order (the same
// position), the SSE one in blocks of 8 slots, the AVX one in blocks of 4 for stereo (for mono
// it runs the SSE code). Dithering ones add noise and are left out; an unknown one needs the
// same position.
struct Decoder {
    std::string name;
    int alignmentMono, alignmentStereo;
};
std::vector<Decoder> MachineDecoders() {
    const std::string supported = tooltest::RunTool("/usr/bin/mpg123", {"--test-cpu"}).out;
    std::istringstream words(supported.substr(supported.find(':') + 1));
    std::vector<Decoder> decoders;
    for (std::string name; words >> name;) {
        if (name.find("dither") != std::string::npos) continue;
        if (name == "AVX")
            decoders.push_back({name, 3, 2});
        else if (name == "x86-64")
            decoders.push_back({name, 3, 3});
        else
            decoders.push_back({name, 4, 4});
    }
    return decoders;
}

// How alike the ring positions of the cut's decode and the source's are at the frame that
// holds the cut's first sample.
int CutRingAlignment(const Mp3View& in, const Mp3View& out, int64_t firstSample) {
    const int spf = in.headers[0].SamplesPerFrame();
    const int64_t firstRaw = firstSample + GaplessBegin(in);
    const int64_t cutBegin = GaplessBegin(out);
    std::vector<mp3::PrimingFrame> primed;
    for (size_t i = 0; i < out.frames.size() && i < 16; ++i) {
        const tooltest::Bytes bytes = out.FrameBytes(i);
        primed.push_back(mp3::PrimingFrameOf(out.headers[i], bytes, bytes.size()));
    }
    return mp3::RingAlignment(mp3::SynthesisedBefore(cutBegin / spf, cutBegin, spf, primed),
                              mp3::SynthesisedBefore(firstRaw / spf, GaplessBegin(in), spf, {}), spf);
}

struct Case {
    const char* fixture;
    const char* where;  // "boundary", "after", "last": the start's place in its frame
    int64_t fromMs;     // search the start from here
    int64_t lengthMs;
    // The ring alignment the cut must reach: at 128 kb/s MPEG-1 the delay field leaves room
    // for a lead of either parity, which is all the SSE decoder needs (3: measured on 51 starts).
    int minAlignment = 0;
};

class SampleExactCutTest : public ::testing::TestWithParam<Case> {};

TEST_P(SampleExactCutTest, GaplessDecodeIsTheSourcesFromAToB) {
    const Case& c = GetParam();
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath(c.fixture);
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.ok && !in.headers.empty()) << input;
    const int rate = in.headers[0].sampleRate;
    const int spf = in.headers[0].SamplesPerFrame();
    const int within = std::string(c.where) == "boundary" ? 0 : std::string(c.where) == "after" ? 1 : spf - 1;
    const int64_t startMs = StartAtFramePosition(in, c.fromMs, within);
    const int64_t endMs = startMs + c.lengthMs;

    mp3splt::SplitRequest request{input, startMs, endMs, scratch.Path(), "cut", true};
    ASSERT_EQ(mp3splt::CutFile(request), mp3splt::kExitWritten);
    Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
    ASSERT_TRUE(out.ok && out.layout.info && out.layout.info->lame);
    EXPECT_TRUE(out.layout.info->lame->tagCrcValid);
    EXPECT_EQ(*out.layout.info->xing->frames, out.frames.size());

    const int channels = in.headers[0].Channels();
    const int alignment = CutRingAlignment(in, out, SampleAt(startMs, rate));
    SCOPED_TRACE(std::string(c.fixture) + " from " + std::to_string(startMs) + " ms, sample " +
                 std::to_string((SampleAt(startMs, rate) + GaplessBegin(in)) % spf) + " of its frame, ring alignment " +
                 std::to_string(alignment));
    EXPECT_GE(alignment, c.minAlignment);
    const std::vector<Decoder> decoders = MachineDecoders();
    ASSERT_FALSE(decoders.empty()) << "mpg123 --test-cpu named no decoder";
    for (const Decoder& decoder : decoders) {
        GaplessDecode source(input, scratch / "source.raw", channels, decoder.name);
        GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", channels, decoder.name);
        ASSERT_TRUE(source.ok() && cut.ok()) << decoder.name;
        SCOPED_TRACE("decoder " + decoder.name);
        const int needed = channels == 1 ? decoder.alignmentMono : decoder.alignmentStereo;
        ExpectSameAudio(CompareCut(source, cut, SampleAt(startMs, rate), SampleAt(endMs, rate)), alignment >= needed);
    }
}

const Case kCases[] = {
    {"cbr128.mp3", "boundary", 1000, 200, 3},
    {"cbr128.mp3", "after", 1000, 10000, 3},
    {"cbr128.mp3", "last", 1000, 10000, 3},
    {"vbr.mp3", "boundary", 1000, 10000},
    {"vbr.mp3", "after", 1000, 200},
    {"vbr.mp3", "last", 1500, 10000},
    {"mpeg2.mp3", "boundary", 1000, 6000},
    {"mpeg2.mp3", "after", 500, 200},
    {"mpeg2.mp3", "last", 1000, 6000},
    {"mpeg25.mp3", "boundary", 1000, 6000},
    {"mpeg25.mp3", "after", 1000, 200},
    {"mpeg25.mp3", "last", 700, 6000},
    {"long.mp3", "after", 20 * 60000, 10 * 60000},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, SampleExactCutTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.fixture;
    name = name.substr(0, name.find('.')) + "_" + info.param.where + "_" + std::to_string(info.param.lengthMs);
    return name;
});

// A cut from the start keeps the source's delay, one to the end its padding, and both play
// exactly their stretch.
TEST(SampleExactCut, FromTheStartAndToTheEndKeepTheSourcesFields) {
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath("vbr.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.layout.info && in.layout.info->lame);
    const int64_t totalMs = int64_t(in.frames.size()) * 1152 * 1000 / 44100;
    GaplessDecode source(input, scratch / "source.raw", 2);
    struct Ends {
        int64_t startMs, endMs;
    };
    for (Ends ends : {Ends{0, 4000}, Ends{5000, totalMs + 60000}}) {
        ASSERT_EQ(tooltest::RunTool(MP3SPLT_EXE, {input, tooltest::CutTime(ends.startMs), tooltest::CutTime(ends.endMs),
                                                  "-d", scratch.Path(), "-o", "cut", "-f"})
                      .exitCode,
                  0);
        Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
        const mp3::LameTag& lame = *out.layout.info->lame;
        if (ends.startMs == 0)
            EXPECT_EQ(lame.encoderDelay, in.layout.info->lame->encoderDelay);
        else
            EXPECT_EQ(lame.encoderPadding, in.layout.info->lame->encoderPadding);
        GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", 2);
        SCOPED_TRACE(ends.startMs);
        ExpectSameAudio(CompareCut(source, cut, SampleAt(ends.startMs, 44100), SampleAt(ends.endMs, 44100)));
    }
}

// The bit reservoir of a burst after silence reaches back further than the delay field holds:
// the tool says so, keeps what fits, and the length is still exact; past the first frames the
// audio is the source's.
TEST(SampleExactCut, ReservoirBeyondTheDelayFieldIsReportedAndTheLengthStaysExact) {
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath("lowrate.mp3");
    tooltest::RunResult run =
        tooltest::RunTool(MP3SPLT_EXE, {input, "0.1.50", "0.3.0", "-d", scratch.Path(), "-o", "cut", "-f"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("frame-exact rather than sample-exact"), std::string::npos) << run.out;
    GaplessDecode source(input, scratch / "source.raw", 2);
    GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", 2);
    const int64_t from = SampleAt(1500, 48000);
    const int64_t to = SampleAt(3000, 48000);
    Comparison whole = CompareCut(source, cut, from, to);
    EXPECT_EQ(whole.got, whole.wanted);
    EXPECT_GT(whole.largest, 1) << "the start was expected to differ";
    const int64_t settled = 48000 / 4;  // a quarter second in, the decoder has caught up
    ExpectSameAudio(CompareCut(source, cut, from, to, settled));
}

}  // namespace
