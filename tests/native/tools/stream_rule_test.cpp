// The splitter and the repair tool on files of more than one stream, without a Xing frame or
// with one that covers part of the file, in free format; and what they promise about the
// files around them (the user's name never empty, permissions, stale partial files).
#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "tool_test_support.h"

namespace {

using tooltest::Bytes;
using tooltest::PlayerView;
using tooltest::RunResult;
using tooltest::RunTool;
using tooltest::ScratchDir;

const std::string kSplitter = MP3SPLT_EXE;
const std::string kRepairTool = MP3VAL_EXE;

RunResult Split(const std::string& input, int64_t startMs, int64_t endMs, const std::string& folder, bool frameMode) {
    std::vector<std::string> args = {input, tooltest::CutTime(startMs), tooltest::CutTime(endMs), "-d", folder, "-o",
                                     "cut"};
    if (frameMode) args.push_back("-f");
    return RunTool(kSplitter, args);
}

// Where the cut's first frame lies among the input's stream frames; SIZE_MAX when the cut is
// not a run of them.
size_t FirstFrameInInput(const PlayerView& in, const PlayerView& out) {
    for (size_t k = 0; k + out.frames.size() <= in.frames.size(); ++k) {
        bool same = true;
        for (size_t i = 0; i < out.frames.size() && same; ++i) same = in.FrameBytes(k + i) == out.FrameBytes(i);
        if (same) return k;
    }
    return SIZE_MAX;
}

// The frame boundary nearest a time; a time exactly between two goes to the earlier one.
size_t NearestBoundary(double timeMs, double frameMs) {
    size_t k = 0;
    while (k * frameMs + frameMs / 2 < timeMs) ++k;
    return k;
}

struct Stretch {
    const char* fixture;
    int64_t startMs, endMs;
};

// Bitrate mode places the cut by the stream's own frames: neither the first header (silence
// at 32 kb/s), nor a Xing frame that covers only the first of two joined files, nor the bytes
// of another stream.
TEST(StreamRule, BitrateModeCutsTheRequestedStretch) {
    const Stretch cases[] = {
        {"vbr-noxing.mp3", 10000, 25000},
        {"vbr-noxing.mp3", 4200, 7700},
        {"joined.mp3", 30000, 50000},
        {"jingle.mp3", 5000, 10000},
    };
    for (const Stretch& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + std::to_string(c.startMs) + "-" + std::to_string(c.endMs));
        ScratchDir scratch;
        PlayerView in = tooltest::ViewAsPlayer(tooltest::FixturePath(c.fixture));
        ASSERT_TRUE(in.ok);
        RunResult run = Split(tooltest::FixturePath(c.fixture), c.startMs, c.endMs, scratch.Path(), false);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        PlayerView out = tooltest::ViewAsPlayer(scratch / "cut.mp3");
        ASSERT_TRUE(out.ok);
        double lengthMs = out.frames.size() * out.FrameMs();
        EXPECT_NEAR(lengthMs, c.endMs - c.startMs, (c.endMs - c.startMs) * 0.02);
        size_t first = FirstFrameInInput(in, out);
        ASSERT_NE(first, SIZE_MAX) << "the cut is not a run of the input's frames";
        EXPECT_NEAR(first * in.FrameMs(), c.startMs, 500.0);
    }
}

// Frame mode copies only the stream's frames, at the times the player gives them, and the
// information frame it writes is of that stream.
TEST(StreamRule, FrameModeHoldsOnlyTheStreamsFramesAtThePlayersTimes) {
    const Stretch cases[] = {
        {"mixed.mp3", 2000, 5000},    // 22.05 kHz mono from 3 s to 4 s of the file
        {"jingle.mp3", 5000, 10000},  // a 1 s jingle of 22.05 kHz in front
        {"jingle.mp3", 0, 3000},
    };
    for (const Stretch& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + std::to_string(c.startMs) + "-" + std::to_string(c.endMs));
        ScratchDir scratch;
        PlayerView in = tooltest::ViewAsPlayer(tooltest::FixturePath(c.fixture));
        ASSERT_TRUE(in.ok);
        RunResult run = Split(tooltest::FixturePath(c.fixture), c.startMs, c.endMs, scratch.Path(), true);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        tooltest::Mp3View all = tooltest::ViewMp3(scratch / "cut.mp3");
        ASSERT_TRUE(all.ok);
        ASSERT_TRUE(all.layout.info.has_value());
        EXPECT_TRUE(mp3::SameStream(all.layout.info->header, in.stream)) << "information frame of another stream";
        for (const mp3::FrameHeader& header : all.headers) ASSERT_TRUE(mp3::SameStream(header, in.stream));
        // A run of the stream's frames from a few before the one nearest A (what a decoder needs
        // there) that a gapless player plays for exactly B - A.
        // The first frame is rewritten to hold its own main data; the next one on are the stream's.
        size_t nearest = NearestBoundary(c.startMs, in.FrameMs());
        size_t first = nearest + 1;
        while (first > 0 && nearest + 1 - first < 10 && in.FrameBytes(first) != all.FrameBytes(1)) --first;
        ASSERT_EQ(in.FrameBytes(first), all.FrameBytes(1));
        for (size_t i = 1; i < all.frames.size(); ++i) ASSERT_EQ(all.FrameBytes(i), in.FrameBytes(first + i - 1)) << i;
        // On the player's timeline, which a gapless decode of the source enters at its delay.
        const tooltest::Mp3View source = tooltest::ViewMp3(tooltest::FixturePath(c.fixture));
        const double beginMs =
            source.layout.info && source.layout.info->lame
                ? (source.layout.info->lame->encoderDelay + 529) * 1000.0 / in.stream.sampleRate
                : 0;
        EXPECT_NEAR(all.PlayedMs(), c.endMs - std::max(double(c.startMs), beginMs), 1000.0 / in.stream.sampleRate);
    }
}

// The repair tool keeps the same stream as the player and the splitter, also when the other
// stream comes first and holds a tenth of the file.
TEST(StreamRule, RepairKeepsTheSongBehindAForeignLeadIn) {
    ScratchDir scratch;
    std::string file = scratch / "jingle.mp3";
    Bytes original = tooltest::ReadBytes(tooltest::FixturePath("jingle.mp3"));
    tooltest::WriteBytes(file, original);
    PlayerView before = tooltest::ViewAsPlayer(file);
    RunResult run = RunTool(kRepairTool, {"-f", file});
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(tooltest::ReadBytes(file + ".bak"), original);
    PlayerView after = tooltest::ViewAsPlayer(file);
    ASSERT_TRUE(after.ok);
    ASSERT_EQ(after.frames.size(), before.frames.size());
    for (size_t i = 0; i < after.frames.size(); ++i) ASSERT_EQ(after.FrameBytes(i), before.FrameBytes(i)) << i;
    EXPECT_EQ(tooltest::ViewMp3(file).headers.front().sampleRate, 44100);
    EXPECT_EQ(RunTool(kRepairTool, {file}).exitCode, 0);
}

// Free format: the splitter cuts it frame by frame, the repair tool checks and repairs it.
TEST(StreamRule, FreeFormatIsCutCheckedAndRepaired) {
    ScratchDir scratch;
    std::string input = tooltest::FixturePath("freeformat.mp3");
    PlayerView in = tooltest::ViewAsPlayer(input);
    ASSERT_TRUE(in.ok && in.stream.FreeFormat());
    RunResult run = Split(input, 200, 700, scratch.Path(), true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    PlayerView out = tooltest::ViewAsPlayer(scratch / "cut.mp3");
    ASSERT_TRUE(out.ok);
    size_t first = NearestBoundary(200, in.FrameMs());
    ASSERT_EQ(out.frames.size(), NearestBoundary(700, in.FrameMs()) - first);
    for (size_t i = 0; i < out.frames.size(); ++i) ASSERT_EQ(out.FrameBytes(i), in.FrameBytes(first + i));
    EXPECT_TRUE(tooltest::DecodesWithLame(scratch / "cut.mp3", scratch.Path()));
    // One free-format frame alone has no length a reader could find: not written.
    RunResult lone = RunTool(kSplitter, {input, "0.0.20", "0.0.23", "-d", scratch.Path(), "-o", "lone", "-f"});
    EXPECT_EQ(lone.exitCode, 2) << lone.err;
    EXPECT_FALSE(tooltest::Exists(scratch / "lone.mp3"));

    // Two such files joined: the second one's Info frame, a silent frame amid the stream, is
    // not copied to the front of a cut, where every reader would take it for the cut's own.
    Bytes joined = tooltest::ReadBytes(input);
    joined.insert(joined.end(), joined.begin(), joined.end());
    tooltest::WriteBytes(scratch / "joined.mp3", joined);
    const int64_t secondInfoMs = static_cast<int64_t>(in.frames.size() * in.FrameMs()) + 1;
    ASSERT_EQ(Split(scratch / "joined.mp3", secondInfoMs, secondInfoMs + 500, scratch.Path(), true).exitCode, 0);
    tooltest::Mp3View afterJoin = tooltest::ViewMp3(scratch / "cut.mp3");
    EXPECT_FALSE(afterJoin.layout.info.has_value());
    EXPECT_EQ(afterJoin.frames.size(), NearestBoundary(secondInfoMs + 500, in.FrameMs()) - in.frames.size() - 1);

    EXPECT_EQ(RunTool(kRepairTool, {input}).exitCode, 0);
    Bytes damaged = tooltest::ReadBytes(input);
    damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(in.frames[10].offset), 300, 0x20);
    tooltest::WriteBytes(scratch / "free.mp3", damaged);
    RunResult repair = RunTool(kRepairTool, {"-f", scratch / "free.mp3"});
    EXPECT_EQ(repair.exitCode, 1) << repair.out << repair.err;
    EXPECT_EQ(tooltest::ReadBytes(scratch / "free.mp3"), tooltest::ReadBytes(input));
}

// An ID3v2.4 tag with a footer and a wrong, longer length: the cut's tag states the cut's
// length, keeps the other frames and adds up (header and footer size).
TEST(StreamRule, ALengthFrameOfAnyWidthStatesTheCutsLength) {
    ScratchDir scratch;
    auto frame = [](const std::string& id, const std::string& text) {
        Bytes f(id.begin(), id.end());
        size_t size = text.size() + 1;
        for (int shift = 21; shift >= 0; shift -= 7) f.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
        f.insert(f.end(), {0, 0, 0});
        f.insert(f.end(), text.begin(), text.end());
        return f;
    };
    Bytes body = frame("TIT2", "Title");
    Bytes length = frame("TLEN", "123456789");
    body.insert(body.end(), length.begin(), length.end());
    Bytes album = frame("TALB", "Album");
    body.insert(body.end(), album.begin(), album.end());
    auto header = [&](const char* magic) {
        Bytes h = {uint8_t(magic[0]), uint8_t(magic[1]), uint8_t(magic[2]), 4, 0, 0x10};
        for (int shift = 21; shift >= 0; shift -= 7) h.push_back(static_cast<uint8_t>((body.size() >> shift) & 0x7F));
        return h;
    };
    Bytes file = header("ID3");
    file.insert(file.end(), body.begin(), body.end());
    Bytes footer = header("3DI");
    file.insert(file.end(), footer.begin(), footer.end());
    Bytes audio = tooltest::ReadBytes(tooltest::FixturePath("cbr128.mp3"));
    file.insert(file.end(), audio.begin(), audio.end());
    tooltest::WriteBytes(scratch / "tagged.mp3", file);

    ASSERT_EQ(Split(scratch / "tagged.mp3", 1000, 3500, scratch.Path(), true).exitCode, 0);
    tooltest::Mp3View out = tooltest::ViewMp3(scratch / "cut.mp3");
    ASSERT_EQ(out.layout.leadingTags.size(), 1u);
    Bytes tag = out.LeadingTagBytes();
    std::optional<std::string> stated = tooltest::Id3Text(tag, "TLEN");
    ASSERT_TRUE(stated.has_value());
    EXPECT_NEAR(std::stod(*stated), out.PlayedMs(), 1.0);
    EXPECT_EQ(tooltest::Id3Text(tag, "TIT2"), "Title");
    EXPECT_EQ(tooltest::Id3Text(tag, "TALB"), "Album");
    ASSERT_GE(tag.size(), 20u);
    EXPECT_EQ(Bytes(tag.end() - 10, tag.end() - 7), (Bytes{'3', 'D', 'I'}));
    EXPECT_EQ(Bytes(tag.end() - 4, tag.end()), Bytes(tag.begin() + 6, tag.begin() + 10))
        << "footer and header sizes differ";
}

// The repair replaces the file in one step: the user's name is never removed or renamed away,
// so a repair killed at any moment leaves the old file or the new one under it.
TEST(StreamRule, RepairNeverLeavesTheNameWithoutAFile) {
    ScratchDir scratch;
    Bytes damaged = tooltest::ReadBytes(tooltest::FixturePath("cbr128.mp3"));
    damaged.insert(damaged.begin() + 5000, 700, 0x20);
    tooltest::WriteBytes(scratch / "song.mp3", damaged);
    int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, scratch.Path().c_str(), IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO), 0);
    RunResult run = RunTool(kRepairTool, {"-f", scratch / "song.mp3"});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    std::vector<std::string> namesGone;
    bool replaced = false;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            std::string name = event->len ? event->name : "";
            if (event->mask & (IN_DELETE | IN_MOVED_FROM)) namesGone.push_back(name);
            if ((event->mask & IN_MOVED_TO) && name == "song.mp3") replaced = true;
            p += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    EXPECT_TRUE(replaced);
    for (const std::string& name : namesGone) EXPECT_NE(name, "song.mp3") << "the original was moved away or deleted";
    EXPECT_EQ(tooltest::ReadBytes(scratch / "song.mp3.bak"), damaged);
    EXPECT_EQ(RunTool(kRepairTool, {scratch / "song.mp3"}).exitCode, 0);
}

// A new cut gets the permissions any new file of the user gets.
TEST(StreamRule, TheCutFollowsTheUmask) {
    for (mode_t mask : {mode_t(022), mode_t(027)}) {
        ScratchDir scratch;
        mode_t previous = umask(mask);
        RunResult run = Split(tooltest::FixturePath("cbr128.mp3"), 0, 1000, scratch.Path(), true);
        umask(previous);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        struct stat info;
        ASSERT_EQ(stat((scratch / "cut.mp3").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    }
}

// A partial file that a killed run left behind goes at the next run; one of a run still going
// stays.
TEST(StreamRule, StalePartialFilesAreRemoved) {
    ScratchDir scratch;
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = ".cut.mp3.partial-" + std::to_string(gone) + "-Ab12Cd";
    const std::string live = ".cut.mp3.partial-" + std::to_string(getpid()) + "-Ef34Gh";
    tooltest::WriteBytes(scratch / stale, Bytes(100, 1));
    tooltest::WriteBytes(scratch / live, Bytes(100, 2));
    ASSERT_EQ(Split(tooltest::FixturePath("cbr128.mp3"), 0, 1000, scratch.Path(), true).exitCode, 0);
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{live, "cut.mp3"}));
}

}  // namespace
