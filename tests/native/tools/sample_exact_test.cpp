// Frame-mode cuts played by a real gapless decoder: Debian's mpg123 decodes the cut, with each
// synthesis decoder this machine has, and it must be exactly the samples from A to B of the
// source's plain decode (mpg123 --no-gapless: every sample of every frame, as the player plays
// them; the match through the player's graph was measured to 1 LSB).
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
    GaplessDecode(const std::string& mp3, const std::string& rawPath, int channels, const std::string& decoder = "",
                  bool plain = false)
        : path_(rawPath), channels_(channels) {
        std::vector<std::string> args = {"-q", "-O", rawPath, mp3};
        if (!decoder.empty()) args.insert(args.begin(), {"--cpu", decoder});
        if (plain) args.insert(args.begin(), "--no-gapless");
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

// The samples of the source's plain decode that its gapless decode plays (see mp3/gapless.h).
int64_t GaplessBegin(const Mp3View& view) {
    if (!view.layout.info || !view.layout.info->lame) return 0;
    return view.layout.info->lame->encoderDelay + 529;
}
int64_t GaplessEnd(const Mp3View& view) {
    const int64_t all = int64_t(view.frames.size()) * view.headers[0].SamplesPerFrame();
    if (!view.layout.info || !view.layout.info->lame) return all;
    return all - view.layout.info->lame->encoderPadding + 529;
}

// The plain-decode samples a cut from A to B stands for.
struct Stretch {
    int64_t from, to;
};
Stretch StretchOf(const Mp3View& view, int64_t startMs, int64_t endMs) {
    const int rate = view.headers[0].sampleRate;
    return {std::max(SampleAt(startMs, rate), GaplessBegin(view)), std::min(SampleAt(endMs, rate), GaplessEnd(view))};
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
        const int position = int(SampleAt(ms, rate) % spf);
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
int CutRingAlignment(const Mp3View& in, const Mp3View& out, int64_t firstRaw) {
    const int spf = in.headers[0].SamplesPerFrame();
    const int64_t cutBegin = GaplessBegin(out);
    std::vector<mp3::PrimingFrame> primed;
    for (size_t i = 0; i < out.frames.size() && i < 16; ++i) {
        const tooltest::Bytes bytes = out.FrameBytes(i);
        primed.push_back(mp3::PrimingFrameOf(out.headers[i], bytes, bytes.size()));
    }
    return mp3::RingAlignment(mp3::SynthesisedBefore(cutBegin / spf, cutBegin, spf, primed),
                              mp3::SynthesisedBefore(firstRaw / spf, GaplessBegin(in), spf, {}), spf);
}

// A plain player of the cut gets at most the two granules that overlap and synthesis need and
// the rest of the frames that hold A and B. A frame of empty granules in front, one frame
// more, only where the source's frame that follows it cannot hold its main data and the next
// frame's reservoir in the largest frame of the stream. Of an MPEG-1 frame before A's frame
// that main data is the second granule's alone where A lies 512 to 1087 samples into its
// frame: the synthesis history (16 slots of 32 samples) and the overlap before it then begin
// in that granule.
void ExpectLeadWithinTheBound(const Mp3View& out, const Stretch& stretch) {
    const int spf = out.headers[0].SamplesPerFrame();
    const int64_t lead = int64_t(out.frames.size()) * spf - (stretch.to - stretch.from);
    const bool emptyLead = out.frames.size() > 2 && mp3::MainDataBits(out.headers[0], out.FrameBytes(0)) == 0;
    EXPECT_LE(lead, 2 * spf + 2 * 576 + (emptyLead ? spf : 0));
    if (!emptyLead) return;
    const mp3::FrameHeader& header = out.headers[1];
    const tooltest::Bytes frame = out.FrameBytes(1);
    const int position = int(stretch.from % spf);
    const bool secondGranuleOnly = header.version == mp3::Version::Mpeg1 && position >= 512 && position < 1088;
    const int bits = secondGranuleOnly ? tooltest::GranuleBits(header, frame, 1) : *mp3::MainDataBits(header, frame);
    const int needed = (bits + 7) / 8 + *mp3::MainDataBegin(out.headers[2], out.FrameBytes(2));
    const auto largest =
        mp3::MakeFrameHeader(header.version, mp3::Layer::III, header.version == mp3::Version::Mpeg1 ? 320 : 160,
                             header.sampleRate, header.channelMode, true, header.hasCrc);
    EXPECT_GT(needed, mp3::MainDataCapacity(*largest, uint64_t(largest->FrameLength())))
        << "a frame of empty granules in front of a frame that could hold its main data";
}

struct Case {
    const char* fixture;
    const char* where;  // "boundary", "after", "last": the start's place in its frame; "at": fromMs itself
    int64_t fromMs;     // search the start from here
    int64_t lengthMs;
};

class SampleExactCutTest : public ::testing::TestWithParam<Case> {};

TEST_P(SampleExactCutTest, GaplessDecodeIsThePlainDecodeFromAToB) {
    const Case& c = GetParam();
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath(c.fixture);
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.ok && !in.headers.empty()) << input;
    const int spf = in.headers[0].SamplesPerFrame();
    const std::string where = c.where;
    const int within = where == "boundary" ? 0 : where == "after" ? 1 : spf - 1;
    const int64_t startMs = where == "at" ? c.fromMs : StartAtFramePosition(in, c.fromMs, within);
    const int64_t endMs = startMs + c.lengthMs;
    const Stretch stretch = StretchOf(in, startMs, endMs);

    if (startMs % 10 == 0 && endMs % 10 == 0) {
        // Times the command line can say: the tool itself, which must not call the start
        // anything but sample-exact.
        tooltest::RunResult run = tooltest::RunTool(
            MP3SPLT_EXE,
            {input, tooltest::CutTime(startMs), tooltest::CutTime(endMs), "-d", scratch.Path(), "-o", "cut", "-f"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.find("note:"), std::string::npos) << run.out;
    } else {
        mp3splt::SplitRequest request{input, startMs, endMs, scratch.Path(), "cut", true};
        ASSERT_EQ(mp3splt::CutFile(request), mp3splt::kExitWritten);
    }
    Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
    ASSERT_TRUE(out.ok && out.layout.info && out.layout.info->lame);
    EXPECT_TRUE(out.layout.info->lame->tagCrcValid);
    EXPECT_EQ(*out.layout.info->xing->frames, out.frames.size());
    const size_t rewritten = tooltest::ExpectStartCarriesTheSourcesMainData(in, out);

    const int channels = in.headers[0].Channels();
    const int alignment = CutRingAlignment(in, out, stretch.from);
    SCOPED_TRACE(std::string(c.fixture) + " from " + std::to_string(startMs) + " ms, sample " +
                 std::to_string(stretch.from % spf) + " of its frame, ring alignment " + std::to_string(alignment) +
                 ", frames rewritten " + std::to_string(rewritten));
    ExpectLeadWithinTheBound(out, stretch);
    const std::vector<Decoder> decoders = MachineDecoders();
    ASSERT_FALSE(decoders.empty()) << "mpg123 --test-cpu named no decoder";
    for (const Decoder& decoder : decoders) {
        GaplessDecode source(input, scratch / "source.raw", channels, decoder.name, true);
        GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", channels, decoder.name);
        ASSERT_TRUE(source.ok() && cut.ok()) << decoder.name;
        SCOPED_TRACE("decoder " + decoder.name);
        const int needed = channels == 1 ? decoder.alignmentMono : decoder.alignmentStereo;
        ExpectSameAudio(CompareCut(source, cut, stretch.from, stretch.to), alignment >= needed);
    }
}

const Case kCases[] = {
    {"cbr128.mp3", "boundary", 1000, 200},
    {"cbr128.mp3", "after", 1000, 10000},
    {"cbr128.mp3", "last", 1000, 10000},
    {"vbr.mp3", "boundary", 1000, 10000},
    {"vbr.mp3", "after", 1000, 200},
    {"vbr.mp3", "last", 1500, 10000},
    {"vbr.mp3", "at", 10, 3000},  // within the source's encoder delay: from its first sample played
    {"vbr.mp3", "at", 30, 3000},
    {"mpeg2.mp3", "boundary", 1000, 6000},
    {"mpeg2.mp3", "after", 500, 200},
    {"mpeg2.mp3", "last", 1000, 6000},
    {"mpeg25.mp3", "boundary", 1000, 6000},
    {"mpeg25.mp3", "after", 1000, 200},
    {"mpeg25.mp3", "last", 700, 6000},
    {"sweep22.mp3", "at", 11130, 9880},
    {"sweep22.mp3", "after", 3000, 5000},
    {"sweep22.mp3", "last", 17000, 4000},
    {"lame8k.mp3", "at", 1500, 2500},
    {"lame8k.mp3", "last", 3000, 3000},
    {"lame8k.mp3", "at", 20, 2000},
    {"cbr320.mp3", "at", 1010, 500},  // into a burst after silence: the reservoir at its fullest
    {"cbr320.mp3", "at", 3000, 600},  // 972 samples into its frame: the frame before needs only its second granule
    {"cbr320.mp3", "at", 3210, 500},  // 1017 in: that granule alone and the next frame's reservoir fill no frame
    {"cbr320.mp3", "at", 1000,
     730},  // 324 in: both granules of the frame before needed, a frame of empty ones in front
    {"lowrate.mp3", "at", 1500, 1500},
    {"long.mp3", "after", 20 * 60000, 10 * 60000},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, SampleExactCutTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.fixture;
    name = name.substr(0, name.find('.')) + "_" + info.param.where + "_" + std::to_string(info.param.fromMs) + "_" +
           std::to_string(info.param.lengthMs);
    return name;
});

// The stream that leans hardest on its reservoir, cut from every place in its frames: each cut
// plays its stretch, and its lead stays within the bound wherever a frame can carry the main
// data that the frames after it need.
TEST(SampleExactCut, EveryStartIn320kbsPlaysItsStretchWithTheLeastLead) {
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath("cbr320.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.ok && !in.headers.empty());
    GaplessDecode source(input, scratch / "source.raw", 2, "", true);
    ASSERT_TRUE(source.ok());
    int emptyLeads = 0, cuts = 0;
    // 3 ms apart (a frame lasts 26.1 ms), from the silence into the first burst, whose first frames
    // draw on the reservoir that the silence left full, and on into the burst.
    for (int64_t startMs = 940; startMs < 940 + 200 * 3; startMs += 3, ++cuts) {
        mp3splt::SplitRequest request{input, startMs, startMs + 400, scratch.Path(), "cut", true};
        ASSERT_EQ(mp3splt::CutFile(request), mp3splt::kExitWritten) << startMs;
        Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
        ASSERT_TRUE(out.ok && out.frames.size() > 2) << startMs;
        SCOPED_TRACE("from " + std::to_string(startMs) + " ms");
        const Stretch stretch = StretchOf(in, startMs, startMs + 400);
        tooltest::ExpectStartCarriesTheSourcesMainData(in, out);
        ExpectLeadWithinTheBound(out, stretch);
        emptyLeads += mp3::MainDataBits(out.headers[0], out.FrameBytes(0)) == 0;
        GaplessDecode cut(scratch / "cut.mp3", scratch / "cut.raw", 2);
        ASSERT_TRUE(cut.ok());
        ExpectSameAudio(CompareCut(source, cut, stretch.from, stretch.to));
    }
    printf("%d of %d cuts have a frame of empty granules in front\n", emptyLeads, cuts);
}

// A cut from the start keeps the source's delay, one to the end its padding, and both play
// exactly their stretch.
TEST(SampleExactCut, FromTheStartAndToTheEndKeepTheSourcesFields) {
    ScratchDir scratch;
    const std::string input = tooltest::FixturePath("vbr.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.layout.info && in.layout.info->lame);
    const int64_t totalMs = int64_t(in.frames.size()) * 1152 * 1000 / 44100;
    GaplessDecode source(input, scratch / "source.raw", 2, "", true);
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
        const Stretch stretch = StretchOf(in, ends.startMs, ends.endMs);
        ExpectSameAudio(CompareCut(source, cut, stretch.from, stretch.to));
    }
}

}  // namespace
