// mp3splt run as a child process on the fixture files; its output is examined through the
// MP3 library and decoded with lame.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "tool_test_support.h"

namespace {

using tooltest::Bytes;
using tooltest::CutTime;
using tooltest::Mp3View;
using tooltest::RunResult;
using tooltest::RunTool;
using tooltest::ScratchDir;

const std::string kSplitter = MP3SPLT_EXE;

RunResult Split(const std::string& input, int64_t startMs, int64_t endMs, const std::string& folder,
                const std::string& name, bool frameMode) {
    std::vector<std::string> args = {input, CutTime(startMs), CutTime(endMs), "-d", folder, "-o", name};
    if (frameMode) args.push_back("-f");
    return RunTool(kSplitter, args);
}

double DurationMs(const Mp3View& view) { return view.frames.size() * view.FrameMs(); }

// The frame boundary nearest a time; a time exactly between two goes to the earlier one.
size_t NearestBoundary(double timeMs, double frameMs) {
    size_t k = 0;
    while (k * frameMs + frameMs / 2 < timeMs) ++k;
    return k;
}

// The information frame of a cut must describe exactly the frames that follow it.
void ExpectInfoFrameMatches(const Mp3View& out) {
    ASSERT_TRUE(out.layout.info.has_value()) << "no Xing/Info frame";
    ASSERT_TRUE(out.layout.info->xing.has_value());
    const mp3::XingInfo& xing = *out.layout.info->xing;
    ASSERT_TRUE(xing.frames.has_value());
    ASSERT_TRUE(xing.bytes.has_value());
    EXPECT_EQ(*xing.frames, out.frames.size());
    EXPECT_EQ(*xing.bytes, out.AudioBytes() + out.layout.infoFrameRange.size);
    EXPECT_TRUE(xing.toc.has_value());
    if (out.layout.info->lame) {
        EXPECT_TRUE(out.layout.info->lame->tagCrcValid);
    }
}

// Tags come over unchanged, except a length frame (TLEN), which states the cut's length.
void ExpectTagsKeptButTheLength(const Mp3View& in, const Mp3View& out) {
    EXPECT_EQ(out.TailTagBytes(), in.TailTagBytes());
    auto withoutLength = [](const Bytes& tag) {
        auto frames = tooltest::Id3Frames(tag);
        frames.erase(std::remove_if(frames.begin(), frames.end(), [](const auto& f) { return f.first == "TLEN"; }),
                     frames.end());
        return frames;
    };
    EXPECT_EQ(withoutLength(out.LeadingTagBytes()), withoutLength(in.LeadingTagBytes()));
    if (tooltest::Id3Text(in.LeadingTagBytes(), "TLEN")) {
        std::optional<std::string> length = tooltest::Id3Text(out.LeadingTagBytes(), "TLEN");
        ASSERT_TRUE(length.has_value());
        EXPECT_NEAR(std::stod(*length), out.PlayedMs(), 1.0);
    }
}

class FrameModeCut : public ::testing::TestWithParam<const char*> {};

// The frames from A to B and those a decoder needs before A, the first rewritten to carry its
// own main data, the rest copied unchanged.
TEST_P(FrameModeCut, CopiesTheFramesOfTheStretchAndItsLeadIn) {
    ScratchDir scratch;
    std::string input = tooltest::FixturePath(GetParam());
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.ok && in.frames.size() > 20) << input;
    double frameMs = in.FrameMs();
    double totalMs = DurationMs(in);
    int64_t startMs = static_cast<int64_t>(totalMs * 0.2) / 10 * 10;
    int64_t endMs = static_cast<int64_t>(totalMs * 0.7) / 10 * 10;

    RunResult run = Split(input, startMs, endMs, scratch.Path(), "cut", true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"cut.mp3"});
    Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.skippedBytes, 0u);
    EXPECT_FALSE(out.truncated);

    // The LAME fields say which input frames the cut holds: the frames from A to B and those a
    // decoder needs before A, the delay covering the latter.
    ASSERT_TRUE(out.layout.info && out.layout.info->lame);
    const mp3::LameTag& lame = *out.layout.info->lame;
    const int spf = in.headers[0].SamplesPerFrame();
    const int rate = in.headers[0].sampleRate;
    const int64_t sourceBegin = in.layout.info && in.layout.info->lame ? in.layout.info->lame->encoderDelay + 529 : 0;
    // The player's timeline: every sample of every frame from the first on.
    const int64_t startSample = std::max<int64_t>(startMs * rate / 1000, sourceBegin);
    const int64_t samples = endMs * rate / 1000 - startSample;
    EXPECT_EQ(int64_t(out.frames.size()) * spf, lame.encoderDelay + samples + lame.encoderPadding);
    const int64_t firstRaw = startSample - 529 - lame.encoderDelay;
    ASSERT_EQ(firstRaw % spf, 0);
    const size_t first = size_t(firstRaw / spf);
    const size_t rewritten = tooltest::ExpectStartCarriesTheSourcesMainData(in, out);
    for (size_t i = rewritten; i < out.frames.size(); ++i) {
        ASSERT_EQ(out.FrameBytes(i), in.FrameBytes(first + i)) << "frame " << i << " of the cut";
    }
    // Plain players: from at most three frames before the one nearest A (the granules that
    // overlap and synthesis need, and the frame holding A) to the frame that holds B.
    const size_t nearestA = NearestBoundary(startMs, frameMs);
    const size_t nearestB = NearestBoundary(endMs, frameMs);
    EXPECT_LE(first, nearestA);
    EXPECT_LE(nearestA - first, 3u);
    EXPECT_GE(first + out.frames.size(), nearestB);
    EXPECT_LE(first + out.frames.size(), nearestB + 1);
    ExpectInfoFrameMatches(out);
    ExpectTagsKeptButTheLength(in, out);
    EXPECT_TRUE(tooltest::DecodesWithLame(scratch / "cut.mp3", scratch.Path()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FrameModeCut,
                         ::testing::Values("cbr128.mp3", "vbr.mp3", "mpeg2.mp3", "mpeg25.mp3", "speech.mp3", "crc.mp3"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

// Layer II has no Xing frame: the cut is the frames alone, unchanged.
TEST(Mp3splt, CutsLayerTwoWithoutAnInformationFrame) {
    std::string input = tooltest::FixturePath("layer2-a.mp2");
    if (!tooltest::Exists(input)) GTEST_SKIP() << "no Layer II fixture (twolame missing)";
    ScratchDir scratch;
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.ok && !in.frames.empty());
    RunResult run = Split(input, 500, 1500, scratch.Path(), "two", true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Mp3View out = tooltest::ViewMp3(scratch / "two.mp3");
    EXPECT_FALSE(out.layout.info.has_value());
    size_t first = NearestBoundary(500, in.FrameMs());
    ASSERT_EQ(out.frames.size(), NearestBoundary(1500, in.FrameMs()) - first);
    for (size_t i = 0; i < out.frames.size(); ++i) EXPECT_EQ(out.FrameBytes(i), in.FrameBytes(first + i));
}

// "Info" exactly when every frame written has one bitrate (a frame-mode cut's rewritten first
// frame may have another).
TEST(Mp3splt, ConstantBitrateCutGetsAnInfoHeaderAndVbrGetsXing) {
    ScratchDir scratch;
    ASSERT_EQ(Split(tooltest::FixturePath("cbr128.mp3"), 1000, 3000, scratch.Path(), "c", false).exitCode, 0);
    ASSERT_EQ(Split(tooltest::FixturePath("cbr128.mp3"), 1000, 3000, scratch.Path(), "f", true).exitCode, 0);
    ASSERT_EQ(Split(tooltest::FixturePath("vbr.mp3"), 1000, 3000, scratch.Path(), "v", true).exitCode, 0);
    for (const char* name : {"c.mp3", "f.mp3", "v.mp3"}) {
        Mp3View cut = tooltest::ViewMp3(scratch / name);
        ASSERT_TRUE(cut.layout.info && cut.layout.info->xing) << name;
        bool varies = false;
        for (const auto& header : cut.headers) varies |= header.bitrateKbps != cut.headers[0].bitrateKbps;
        EXPECT_EQ(cut.layout.info->xing->isInfo, !varies) << name;
        if (std::string(name) == "c.mp3") EXPECT_FALSE(varies);
    }
}

// Frames whose last bytes read as a tail tag end the cut (the first two found by the fuzz
// target): an APE footer at the end of the last frame (a short stream cut from 0.4 s to 2.25 s),
// "TAG" 128 bytes from the end, across the last two frames (cut from 0 to 1.1 s), and an APE
// footer before an ID3v1 tag whose size reaches past the source's audio but not past the cut's,
// which begins with an information frame, and "TAG" in the last frame 128 bytes before the
// ID3v1 tag copied after it (found by the fuzz target). Readers would take them for a tag and
// count fewer frames than the information frame says; the last frame grows by zeros that no
// decoder reads as audio.
TEST(Mp3splt, LastFramesThatReadAsATagStillCountAsFrames) {
    struct Case {
        const char* file;
        int64_t startMs, endMs;
        size_t tailTags;
    };
    for (const Case& c : {Case{"frame-ending-in-an-ape-footer.bin", 400, 2250, 0},
                          Case{"frames-ending-in-an-id3v1-tag.bin", 0, 1100, 0},
                          Case{"ape-footer-reaching-into-the-info-frame.bin", 0, 2000, 1},
                          Case{"fuzz-last-frame-before-tags-reading-as-id3v1.bin", 0, 1550, 3}}) {
        for (bool frameMode : {true, false}) {
            SCOPED_TRACE(std::string(c.file) + (frameMode ? ", frame mode" : ", bitrate mode"));
            ScratchDir scratch;
            ASSERT_EQ(Split(std::string(TOOL_TEST_DATA) + "/" + c.file, c.startMs, c.endMs, scratch.Path(), "cut",
                            frameMode)
                          .exitCode,
                      0);
            Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
            ASSERT_TRUE(out.ok);
            EXPECT_EQ(out.layout.tail.tags.size(), c.tailTags);
            EXPECT_EQ(out.skippedBytes, 0u);
            ExpectInfoFrameMatches(out);
        }
    }
}

TEST(Mp3splt, KeepsTitleArtistAndPictureTagsAndStatesTheCutsLength) {
    ScratchDir scratch;
    for (const char* name : {"speech.mp3", "bigtag.mp3"}) {
        std::string input = tooltest::FixturePath(name);
        Mp3View in = tooltest::ViewMp3(input);
        ASSERT_FALSE(in.layout.leadingTags.empty()) << name << " has no ID3v2 tag";
        for (bool frameMode : {true, false}) {
            RunResult run = Split(input, 500, 1500, scratch.Path(), "tagged", frameMode);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            Mp3View out = tooltest::ViewMp3(scratch / "tagged.mp3");
            SCOPED_TRACE(name);
            ExpectTagsKeptButTheLength(in, out);
        }
    }
}

// A LAME tag keeps the source's encoder delay for a cut that starts at the first frame and its
// padding for one that ends at the last; in bitrate mode the other ends say 0.
TEST(Mp3splt, BitrateModeLameDelayAndPaddingFollowTheCutsEnds) {
    ScratchDir scratch;
    std::string input = tooltest::FixturePath("vbr.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    ASSERT_TRUE(in.layout.info && in.layout.info->lame) << "vbr.mp3 should carry a LAME tag";
    const mp3::LameTag& original = *in.layout.info->lame;
    ASSERT_GT(original.encoderDelay, 0);
    int64_t totalMs = static_cast<int64_t>(DurationMs(in));

    struct Case {
        int64_t startMs, endMs;
        bool keepsDelay, keepsPadding;
    };
    const Case cases[] = {
        {0, totalMs / 2, true, false},
        {totalMs / 3, totalMs + 60000, false, true},  // an end past the file means its end
        {0, totalMs + 60000, true, true},
        {totalMs / 3, totalMs / 2, false, false},
    };
    for (const Case& c : cases) {
        RunResult run = Split(input, c.startMs, c.endMs, scratch.Path(), "lame", false);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Mp3View out = tooltest::ViewMp3(scratch / "lame.mp3");
        ASSERT_TRUE(out.layout.info && out.layout.info->lame);
        const mp3::LameTag& lame = *out.layout.info->lame;
        EXPECT_EQ(lame.encoderDelay, c.keepsDelay ? original.encoderDelay : 0) << c.startMs << "-" << c.endMs;
        EXPECT_EQ(lame.encoderPadding, c.keepsPadding ? original.encoderPadding : 0) << c.startMs << "-" << c.endMs;
        EXPECT_TRUE(lame.tagCrcValid);
        if (c.keepsPadding) {
            EXPECT_EQ(out.FrameBytes(out.frames.size() - 1), in.FrameBytes(in.frames.size() - 1));
        }
        if (c.keepsDelay && c.keepsPadding) {
            EXPECT_EQ(out.frames.size(), in.frames.size());
        }
    }
}

TEST(Mp3splt, BitrateModeOnConstantBitrateLandsWithinHalfASecond) {
    ScratchDir scratch;
    std::string input = tooltest::FixturePath("cbr128.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    double totalMs = DurationMs(in);
    int64_t startMs = static_cast<int64_t>(totalMs * 0.25) / 10 * 10;
    int64_t endMs = static_cast<int64_t>(totalMs * 0.75) / 10 * 10;
    RunResult run = Split(input, startMs, endMs, scratch.Path(), "estimate", false);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Mp3View out = tooltest::ViewMp3(scratch / "estimate.mp3");
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.skippedBytes, 0u);
    EXPECT_NEAR(DurationMs(out), endMs - startMs, 500.0);
    ExpectInfoFrameMatches(out);
    // Where the copy starts: a run of input frames equal to the cut's first frames, near A.
    // (A steady tone repeats its frames, so every matching position is accepted.)
    const size_t probe = std::min<size_t>(8, out.frames.size());
    bool foundNearStart = false;
    for (size_t k = 0; k + out.frames.size() <= in.frames.size() && !foundNearStart; ++k) {
        bool same = true;
        for (size_t i = 0; i < probe && same; ++i) same = in.FrameBytes(k + i) == out.FrameBytes(i);
        if (same && std::fabs(k * in.FrameMs() - startMs) <= 500.0) {
            for (size_t i = 0; i < out.frames.size() && same; ++i) same = in.FrameBytes(k + i) == out.FrameBytes(i);
            foundNearStart = same;
        }
    }
    EXPECT_TRUE(foundNearStart) << "the cut is not a run of input frames starting within 0.5 s of " << startMs << " ms";
    EXPECT_TRUE(tooltest::DecodesWithLame(scratch / "estimate.mp3", scratch.Path()));
}

TEST(Mp3splt, BitrateModeOnVbrUsesTheTableOfContents) {
    ScratchDir scratch;
    std::string input = tooltest::FixturePath("vbr.mp3");
    Mp3View in = tooltest::ViewMp3(input);
    double totalMs = DurationMs(in);
    int64_t startMs = static_cast<int64_t>(totalMs * 0.3) / 10 * 10;
    int64_t endMs = static_cast<int64_t>(totalMs * 0.6) / 10 * 10;
    RunResult run = Split(input, startMs, endMs, scratch.Path(), "vbrestimate", false);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Mp3View out = tooltest::ViewMp3(scratch / "vbrestimate.mp3");
    ExpectInfoFrameMatches(out);
    // The TOC has a resolution of 1% of the file; allow for that on both ends.
    EXPECT_NEAR(DurationMs(out), endMs - startMs, 500.0 + totalMs / 50);
    EXPECT_TRUE(tooltest::DecodesWithLame(scratch / "vbrestimate.mp3", scratch.Path()));
}

TEST(Mp3splt, ReplacesAnExistingOutputAndLeavesNoTemporaryFile) {
    ScratchDir scratch;
    tooltest::WriteBytes(scratch / "out.mp3", Bytes(1000, 0x55));
    RunResult run = Split(tooltest::FixturePath("cbr128.mp3"), 0, 2000, scratch.Path(), "out", true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"out.mp3"});
    Mp3View out = tooltest::ViewMp3(scratch / "out.mp3");
    EXPECT_TRUE(out.ok);
    EXPECT_GT(out.frames.size(), 50u);
}

TEST(Mp3splt, FolderWithTrailingSeparatorAndNameWithDots) {
    ScratchDir scratch;
    RunResult run = Split(tooltest::FixturePath("cbr128.mp3"), 0, 1000, scratch.Path() + "/", "a.b", true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"a.b.mp3"});
}

struct BadCase {
    const char* what;
    std::vector<std::string> args;  // "$IN" fixture input, "$DIR" scratch folder, "$FILE" a plain file
    int exitCode;
    const char* messagePart;
};

// Every refusal: non-zero exit, a message on stderr, and nothing written, not even over an
// existing output file.
TEST(Mp3splt, RefusesBadInputWithAMessageAndWritesNothing) {
    const std::string in = tooltest::FixturePath("cbr128.mp3");
    const BadCase cases[] = {
        {"no arguments", {}, 1, "missing arguments"},
        {"times missing", {"$IN", "-d", "$DIR", "-o", "out"}, 1, "missing arguments"},
        {"folder missing", {"$IN", "0.0.0", "0.1.0", "-o", "out"}, 1, "-d"},
        {"name missing", {"$IN", "0.0.0", "0.1.0", "-d", "$DIR"}, 1, "-o"},
        {"bad start", {"$IN", "0.x.0", "0.1.0", "-d", "$DIR", "-o", "out"}, 1, "bad time"},
        {"bad end", {"$IN", "0.0.0", "0.99.0", "-d", "$DIR", "-o", "out"}, 1, "bad time"},
        {"start equals end", {"$IN", "0.1.0", "0.1.0", "-d", "$DIR", "-o", "out"}, 1, "before the end"},
        {"start after end", {"$IN", "0.2.0", "0.1.0", "-d", "$DIR", "-o", "out"}, 1, "before the end"},
        {"missing input", {"$DIR/none.mp3", "0.0.0", "0.1.0", "-d", "$DIR", "-o", "out"}, 2, "cannot find"},
        {"input is a folder", {"$DIR", "0.0.0", "0.1.0", "-d", "$DIR", "-o", "out"}, 2, "folder"},
        {"empty input", {tooltest::FixturePath("empty.mp3"), "0.0.0", "0.1.0", "-d", "$DIR", "-o", "out"}, 2, "empty"},
        {"not an MP3",
         {tooltest::FixturePath("notmp3.mp3"), "0.0.0", "0.1.0", "-d", "$DIR", "-o", "out"},
         2,
         "not an MP3"},
        {"start beyond the end", {"$IN", "900.0.0", "901.0.0", "-d", "$DIR", "-o", "out"}, 2, "beyond the end"},
        {"missing folder", {"$IN", "0.0.0", "0.1.0", "-d", "$DIR/none", "-o", "out"}, 3, "does not exist"},
        {"folder is a file", {"$IN", "0.0.0", "0.1.0", "-d", "$FILE", "-o", "out"}, 3, "not a folder"},
        {"unwritable folder", {"$IN", "0.0.0", "0.1.0", "-d", "/proc", "-o", "out"}, 3, "cannot write"},
        // Padded at the largest bitrate already: no longer frame can end the cut.
        {"last frame reads as a tag",
         {std::string(TOOL_TEST_DATA) + "/ape-footer-on-a-frame-that-cannot-grow.bin", "0.0.0", "0.2.0", "-d", "$DIR",
          "-o", "out", "-f"},
         3,
         "read as a tag"},
        // Free-format frames whose data holds words that read as headers: cut out, they split.
        {"free-format frames that would not read back (found by the fuzz target)",
         {std::string(TOOL_TEST_DATA) + "/fuzz-free-format-frames-holding-headers.bin", "0.0.0", "0.0.80", "-d", "$DIR",
          "-o", "out"},
         2,
         "would not read back"},
        {"last frame reads as a tag (found by the fuzz target)",
         {std::string(TOOL_TEST_DATA) + "/fuzz-cut-ending-in-a-tag-signature.bin", "0.0.20", "0.2.20", "-d", "$DIR",
          "-o", "out", "-f"},
         3,
         "read as a tag"},
        // A Lyrics3 start marker in the frames, within reach of the end of the Lyrics3 tag copied
        // after them: the tag would swallow the frames from there on.
        {"frames before the copied tags read as a tag (found by the fuzz target)",
         {std::string(TOOL_TEST_DATA) + "/fuzz-lyrics3-marker-in-the-frames-before-the-copied-tag.bin", "0.0.0",
          "0.0.50", "-d", "$DIR", "-o", "out", "-f"},
         3,
         "read as a tag"},
    };
    for (const BadCase& c : cases) {
        ScratchDir scratch;
        tooltest::WriteBytes(scratch / "plain.txt", Bytes{'x'});
        Bytes previous(3000, 0x42);
        tooltest::WriteBytes(scratch / "out.mp3", previous);
        std::vector<std::string> args;
        for (std::string arg : c.args) {
            if (arg == "$IN")
                arg = in;
            else if (arg == "$FILE")
                arg = scratch / "plain.txt";
            else if (arg.rfind("$DIR", 0) == 0)
                arg = scratch.Path() + arg.substr(4);
            args.push_back(arg);
        }
        RunResult run = RunTool(kSplitter, args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.messagePart), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"out.mp3", "plain.txt"})) << c.what;
        EXPECT_EQ(tooltest::ReadBytes(scratch / "out.mp3"), previous) << c.what;
    }
}

// Neither tool may hang on an input that is not a plain file (a named pipe nobody writes).
TEST(Tools, RefuseANamedPipeInsteadOfWaitingOnIt) {
    ScratchDir scratch;
    std::string pipe = scratch / "pipe.mp3";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    RunResult split = RunTool(kSplitter, {pipe, "0.0.0", "0.1.0", "-d", scratch.Path(), "-o", "out", "-f"}, 20);
    EXPECT_EQ(split.exitCode, 2) << split.err;
    RunResult check = RunTool(MP3VAL_EXE, {"-f", pipe}, 20);
    EXPECT_EQ(check.exitCode, 2) << check.err;
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"pipe.mp3"});
}

// Stopped in the middle of writing, the splitter leaves neither a partial file under the
// final name nor its temporary file.
TEST(Mp3splt, AnInterruptedCutLeavesNothingBehind) {
    ScratchDir scratch;
    Bytes hour = tooltest::ReadBytes(tooltest::FixturePath("long.mp3"));
    {
        Bytes big;
        for (int i = 0; i < 5; ++i) big.insert(big.end(), hour.begin(), hour.end());
        tooltest::WriteBytes(scratch / "big.mp3", big);
    }
    ScratchDir target;
    int pid = tooltest::StartTool(kSplitter,
                                  {scratch / "big.mp3", "0.0.0", "999.0.0", "-d", target.Path(), "-o", "out", "-f"});
    bool sawTemporary = false;
    for (int i = 0; i < 20000 && !sawTemporary; ++i) {
        for (const std::string& name : target.Names()) sawTemporary |= name.find(".partial") != std::string::npos;
        if (!sawTemporary) usleep(100);
    }
    if (sawTemporary) kill(pid, SIGTERM);
    int code = tooltest::WaitTool(pid);
    // On a loaded machine the cut may finish between the look and the signal.
    if (!sawTemporary || code == 0) GTEST_SKIP() << "the cut ended (" << code << ") before it could be interrupted";
    EXPECT_EQ(code, -SIGTERM);
    EXPECT_TRUE(target.Names().empty()) << target.Names().front();
}

TEST(Mp3splt, RefusesToWriteOverItsInput) {
    ScratchDir scratch;
    Bytes original = tooltest::ReadBytes(tooltest::FixturePath("cbr128.mp3"));
    tooltest::WriteBytes(scratch / "song.mp3", original);
    RunResult run = Split(scratch / "song.mp3", 0, 1000, scratch.Path(), "song", true);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("input file itself"), std::string::npos) << run.err;
    EXPECT_EQ(tooltest::ReadBytes(scratch / "song.mp3"), original);
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"song.mp3"});
}

TEST(Mp3splt, SkipsGarbageAndATruncatedEndInTheInput) {
    ScratchDir scratch;
    for (const char* name : {"garbage.mp3", "truncated.mp3"}) {
        std::string input = tooltest::FixturePath(name);
        Mp3View in = tooltest::ViewMp3(input);
        RunResult run = Split(input, 0, static_cast<int64_t>(DurationMs(in)) + 10000, scratch.Path(), "whole", true);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        Mp3View out = tooltest::ViewMp3(scratch / "whole.mp3");
        EXPECT_EQ(out.skippedBytes, 0u) << name;
        EXPECT_FALSE(out.truncated) << name;
        EXPECT_EQ(out.frames.size(), in.frames.size()) << name;
        ExpectInfoFrameMatches(out);
    }
}

}  // namespace
