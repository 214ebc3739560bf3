// mp3val run as a child process on damaged copies of the fixtures.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "tool_test_support.h"

namespace {

using tooltest::Bytes;
using tooltest::Mp3View;
using tooltest::RunResult;
using tooltest::RunTool;
using tooltest::ScratchDir;

const std::string kRepairTool = MP3VAL_EXE;

// Bytes that never hold a frame sync (no 0xFF), so the damage is exactly what was inserted.
Bytes Garbage(size_t size) {
    Bytes bytes(size);
    uint32_t state = 12345;
    for (uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>((state >> 16) % 0xFF);
    }
    return bytes;
}

void Insert(Bytes& file, uint64_t at, const Bytes& what) {
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
}

void WriteBigEndian(Bytes& file, uint64_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

struct Damage {
    const char* name;
    const char* fixture;
    // Damages the bytes of the fixture; returns how many audio frames a repair must drop.
    std::function<size_t(Bytes&, const Mp3View&)> apply;
    const char* reported;   // part of the report line
    bool restoresOriginal;  // the damage only added or moved bytes: the repair undoes it exactly
};

const Damage kDamages[] = {
    {"garbage_before_first_frame", "cbr128.mp3",
     [](Bytes& file, const Mp3View& view) {
         Insert(file, view.layout.audioStart, Garbage(1000));
         return size_t{0};
     },
     "garbage before the first frame", true},
    {"garbage_between_frames", "vbr.mp3",
     [](Bytes& file, const Mp3View& view) {
         Insert(file, view.frames[60].offset, Garbage(777));
         Insert(file, view.frames[30].offset, Garbage(333));
         return size_t{0};
     },
     "garbage between frames", true},
    {"truncated_last_frame", "cbr128.mp3",
     [](Bytes& file, const Mp3View& view) {
         const mp3::ByteRange& last = view.frames.back();
         file.resize(last.offset + last.size / 2);
         return size_t{1};
     },
     "truncated last frame", false},
    {"impossible_header", "cbr128.mp3",
     [](Bytes& file, const Mp3View& view) {
         file[view.frames[40].offset + 2] |= 0xF0;  // bitrate index 15 does not exist
         return size_t{1};
     },
     "garbage between frames", false},
    {"wrong_xing_counts", "vbr.mp3",
     [](Bytes& file, const Mp3View& view) {
         const mp3::XingInfo& xing = *view.layout.info->xing;
         uint64_t fields = view.layout.infoFrameRange.offset + xing.offsetInFrame + 8;
         WriteBigEndian(file, fields, static_cast<uint32_t>(view.frames.size() + 500));
         return size_t{0};
     },
     "information frame disagrees", false},
    {"id3v1_tag_in_front", "speech.mp3",
     [](Bytes& file, const Mp3View& view) {
         Bytes tag(file.end() - 128, file.end());
         file.resize(file.size() - 128);
         Insert(file, view.layout.audioStart, tag);
         return size_t{0};
     },
     "ID3v1 tag not at the end", true},
    {"id3v2_tag_in_the_middle", "speech.mp3",
     [](Bytes& file, const Mp3View& view) {
         Bytes tag = view.LeadingTagBytes();
         Insert(file, view.frames[20].offset, tag);
         file.erase(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(tag.size()));
         return size_t{0};
     },
     "ID3v2 tag not at the start", true},
    // More frames than the check lists for the copy: the copy finds them by a pass of its own.
    {"garbage_before_first_frame_of_a_long_file", "vbr-noxing.mp3",
     [](Bytes& file, const Mp3View& view) {
         Insert(file, view.frames[0].offset, Garbage(1000));
         return size_t{0};
     },
     "garbage before the first frame", true},
    {"impossible_header_in_a_long_file", "vbr-noxing.mp3",
     [](Bytes& file, const Mp3View& view) {
         file[view.frames[1400].offset + 2] |= 0xF0;
         return size_t{1};
     },
     "garbage between frames", false},
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class Repair : public ::testing::TestWithParam<Damage> {};

TEST_P(Repair, FixesTheDamageKeepsTheOriginalAndIsIdempotent) {
    const Damage& damage = GetParam();
    ScratchDir scratch;
    std::string fixture = tooltest::FixturePath(damage.fixture);
    Mp3View clean = tooltest::ViewMp3(fixture);
    ASSERT_TRUE(clean.ok && clean.frames.size() > 80) << fixture;
    Bytes damaged = tooltest::ReadBytes(fixture);
    size_t dropped = damage.apply(damaged, clean);
    std::string file = scratch / "song.mp3";
    tooltest::WriteBytes(file, damaged);

    RunResult report = RunTool(kRepairTool, {file});
    EXPECT_EQ(report.exitCode, 1) << report.out << report.err;
    EXPECT_NE(report.out.find(damage.reported), std::string::npos) << report.out;
    EXPECT_EQ(tooltest::ReadBytes(file), damaged) << "report-only mode changed the file";
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"song.mp3"});

    RunResult repair = RunTool(kRepairTool, {"-f", file});
    ASSERT_EQ(repair.exitCode, 1) << repair.out << repair.err;
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"song.mp3", "song.mp3.bak"}));
    EXPECT_EQ(tooltest::ReadBytes(scratch / "song.mp3.bak"), damaged);

    Mp3View fixed = tooltest::ViewMp3(file);
    ASSERT_TRUE(fixed.ok);
    EXPECT_EQ(fixed.skippedBytes, 0u);
    EXPECT_FALSE(fixed.truncated);
    EXPECT_EQ(fixed.frames.size(), clean.frames.size() - dropped);
    EXPECT_EQ(fixed.LeadingTagBytes(), clean.LeadingTagBytes());
    EXPECT_EQ(fixed.TailTagBytes(), clean.TailTagBytes());
    EXPECT_EQ(fixed.layout.info.has_value(), clean.layout.info.has_value());
    if (fixed.layout.info && fixed.layout.info->xing) {
        const mp3::XingInfo& xing = *fixed.layout.info->xing;
        if (xing.frames) {
            EXPECT_EQ(*xing.frames, fixed.frames.size());
        }
        if (xing.bytes) {
            EXPECT_EQ(*xing.bytes, fixed.AudioBytes() + fixed.layout.infoFrameRange.size);
        }
        if (fixed.layout.info->lame) {
            EXPECT_TRUE(fixed.layout.info->lame->tagCrcValid);
        }
    }
    EXPECT_TRUE(tooltest::DecodesWithLame(file, scratch.Path()));
    if (damage.restoresOriginal) {
        EXPECT_EQ(tooltest::ReadBytes(file), clean.fileBytes);
    }

    Bytes repaired = tooltest::ReadBytes(file);
    RunResult again = RunTool(kRepairTool, {"-f", file});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(tooltest::ReadBytes(file), repaired);
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"song.mp3", "song.mp3.bak"}));
}

INSTANTIATE_TEST_SUITE_P(Damages, Repair, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame whose CRC does not match is dropped (crc.mp3 has CRC-protected frames).
TEST(Mp3val, DropsAFrameWithABadCrc) {
    ScratchDir scratch;
    std::string file = scratch / "crc.mp3";
    tooltest::WriteBytes(file, tooltest::ReadBytes(tooltest::FixturePath("crc.mp3")));
    Mp3View clean = tooltest::ViewMp3(file);
    ASSERT_TRUE(clean.ok && clean.frames.size() > 50);
    ASSERT_TRUE(clean.headers[30].hasCrc);
    Bytes damaged = tooltest::ReadBytes(file);
    damaged[clean.frames[30].offset + 7] ^= 0x5A;  // inside the side information the CRC covers
    tooltest::WriteBytes(file, damaged);

    RunResult report = RunTool(kRepairTool, {file});
    EXPECT_EQ(report.exitCode, 1);
    EXPECT_NE(report.out.find("wrong CRC"), std::string::npos) << report.out;
    RunResult repair = RunTool(kRepairTool, {"-f", file});
    ASSERT_EQ(repair.exitCode, 1) << repair.err;
    Mp3View fixed = tooltest::ViewMp3(file);
    ASSERT_EQ(fixed.frames.size(), clean.frames.size() - 1);
    EXPECT_EQ(fixed.FrameBytes(29), clean.FrameBytes(29));
    EXPECT_EQ(fixed.FrameBytes(30), clean.FrameBytes(31));
    EXPECT_TRUE(tooltest::DecodesWithLame(file, scratch.Path()));
    EXPECT_EQ(RunTool(kRepairTool, {"-f", file}).exitCode, 0);
}

TEST(Mp3val, LeavesASoundFileByteForByteAloneWithoutBackup) {
    for (const char* name : {"cbr128.mp3", "vbr.mp3", "mpeg2.mp3", "mpeg25.mp3", "speech.mp3", "bigtag.mp3", "crc.mp3",
                             "crc-mpeg2.mp3", "long.mp3", "layer2-a.mp2", "layer2-b.mp2", "layer2-lsf.mp2"}) {
        if (!tooltest::Exists(tooltest::FixturePath(name))) continue;  // Layer II needs twolame
        ScratchDir scratch;
        Bytes original = tooltest::ReadBytes(tooltest::FixturePath(name));
        tooltest::WriteBytes(scratch / "ok.mp3", original);
        RunResult run = RunTool(kRepairTool, {"-f", scratch / "ok.mp3"});
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.out << run.err;
        EXPECT_EQ(tooltest::ReadBytes(scratch / "ok.mp3"), original) << name;
        EXPECT_EQ(scratch.Names(), std::vector<std::string>{"ok.mp3"}) << name;
    }
}

TEST(Mp3val, RepairsTheFixturesWithDamage) {
    for (const char* name : {"garbage.mp3", "truncated.mp3"}) {
        ScratchDir scratch;
        Bytes original = tooltest::ReadBytes(tooltest::FixturePath(name));
        tooltest::WriteBytes(scratch / "d.mp3", original);
        RunResult run = RunTool(kRepairTool, {"-f", scratch / "d.mp3"});
        EXPECT_EQ(run.exitCode, 1) << name << ": " << run.out << run.err;
        Mp3View fixed = tooltest::ViewMp3(scratch / "d.mp3");
        EXPECT_EQ(fixed.skippedBytes, 0u) << name;
        EXPECT_FALSE(fixed.truncated) << name;
        EXPECT_EQ(tooltest::ReadBytes(scratch / "d.mp3.bak"), original) << name;
        EXPECT_TRUE(tooltest::DecodesWithLame(scratch / "d.mp3", scratch.Path())) << name;
    }
}

// A short Layer II piece spliced in front of a longer MP3: the copy keeps the stream that holds
// most of the audio, even though the other one comes first.
TEST(Mp3val, KeepsTheStreamHoldingMostOfTheAudio) {
    if (!tooltest::Exists(tooltest::FixturePath("twostreams.mp3"))) GTEST_SKIP() << "needs twolame";
    ScratchDir scratch;
    Bytes original = tooltest::ReadBytes(tooltest::FixturePath("twostreams.mp3"));
    Mp3View prefix = tooltest::ViewMp3(tooltest::FixturePath("layer2-b.mp2"));
    ASSERT_TRUE(prefix.ok);
    uint64_t prefixBytes = prefix.fileBytes.size();
    tooltest::WriteBytes(scratch / "two.mp3", original);
    RunResult run = RunTool(kRepairTool, {"-f", scratch / "two.mp3"});
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    Mp3View fixed = tooltest::ViewMp3(scratch / "two.mp3");
    ASSERT_TRUE(fixed.ok);
    EXPECT_EQ(fixed.headers.front().layer, mp3::Layer::III);
    EXPECT_EQ(fixed.skippedBytes, 0u);
    Bytes rest(original.begin() + static_cast<std::ptrdiff_t>(prefixBytes), original.end());
    EXPECT_EQ(tooltest::ReadBytes(scratch / "two.mp3"), rest) << "the MP3 after the spliced piece, byte for byte";
    EXPECT_TRUE(tooltest::DecodesWithLame(scratch / "two.mp3", scratch.Path()));
    EXPECT_EQ(RunTool(kRepairTool, {"-f", scratch / "two.mp3"}).exitCode, 0);
}

// The file's stream is the one with most bytes, known only once every frame has been seen:
// frames of other streams before it are still reported as foreign, in file order among the
// other problems, the first twenty of them over all other streams.
TEST(Mp3val, ReportsProblemsInFileOrderBeforeTheStreamIsKnown) {
    Mp3View main = tooltest::ViewMp3(tooltest::FixturePath("cbr128.mp3"));
    Mp3View first = tooltest::ViewMp3(tooltest::FixturePath("mpeg2.mp3"));
    Mp3View later = tooltest::ViewMp3(tooltest::FixturePath("mpeg25.mp3"));
    ASSERT_TRUE(main.ok && main.frames.size() >= 200 && first.frames.size() >= 12 && later.frames.size() >= 14);
    ScratchDir scratch;
    const std::string file = scratch / "song.mp3";
    Bytes bytes;
    Bytes kept;
    std::vector<std::string> expected;
    auto line = [&](const std::string& what, uint64_t offset, uint64_t size, const std::string& detail) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(offset));
        expected.push_back(file + ": " + what + " at offset " + hex + " (" + std::to_string(size) + " bytes)" + detail);
    };
    auto foreign = [&](const Mp3View& view, size_t from, size_t count, const std::string& name, size_t shown) {
        for (size_t i = from; i < from + count; ++i) {
            const Bytes frame = view.FrameBytes(i);
            if (i - from < shown) line("frame of another stream", bytes.size(), frame.size(), ": " + name);
            Insert(bytes, bytes.size(), frame);
        }
    };
    auto garbage = [&](size_t size) {
        line("garbage between frames", bytes.size(), size, "");
        Insert(bytes, bytes.size(), Garbage(size));
    };
    auto own = [&](size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i) {
            Insert(bytes, bytes.size(), main.FrameBytes(i));
            Insert(kept, kept.size(), main.FrameBytes(i));
        }
    };
    const std::string firstName = "MPEG-2 Layer III " + std::to_string(first.headers[0].sampleRate) + " Hz";
    const std::string laterName = "MPEG-2.5 Layer III " + std::to_string(later.headers[0].sampleRate) + " Hz";
    foreign(first, 0, 6, firstName, 6);
    garbage(300);
    foreign(first, 6, 6, firstName, 6);
    own(0, 100);
    garbage(200);
    foreign(later, 0, 14, laterName, 8);  // 20 shown: the rest only counted
    own(100, 100);
    expected.push_back(file + ": ... and 6 more: frame of another stream");
    expected.push_back(file + ": 28 problem(s) found");
    tooltest::WriteBytes(file, bytes);

    RunResult report = RunTool(kRepairTool, {file});
    EXPECT_EQ(report.exitCode, 1) << report.err;
    std::string lines;
    for (const std::string& text : expected) lines += text + "\n";
    EXPECT_EQ(report.out, lines);
    RunResult repair = RunTool(kRepairTool, {"-f", file});
    ASSERT_EQ(repair.exitCode, 1) << repair.err;
    EXPECT_EQ(tooltest::ReadBytes(file), kept);
}

// An existing .bak may be the original of an earlier repair: it is never overwritten.
TEST(Mp3val, AnExistingBackupIsKeptAndTheNewOneNumbered) {
    ScratchDir scratch;
    Bytes damaged = tooltest::ReadBytes(tooltest::FixturePath("cbr128.mp3"));
    Insert(damaged, 0, Garbage(500));
    std::string file = scratch / "song.mp3";
    tooltest::WriteBytes(file, damaged);
    Bytes olderBackup(100, 0x11);
    tooltest::WriteBytes(file + ".bak", olderBackup);
    tooltest::WriteBytes(file + ".1.bak", olderBackup);
    RunResult run = RunTool(kRepairTool, {"-f", file});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("song.mp3.2.bak"), std::string::npos) << run.out;
    EXPECT_EQ(tooltest::ReadBytes(file + ".bak"), olderBackup);
    EXPECT_EQ(tooltest::ReadBytes(file + ".1.bak"), olderBackup);
    EXPECT_EQ(tooltest::ReadBytes(file + ".2.bak"), damaged);
    EXPECT_EQ(tooltest::ViewMp3(file).skippedBytes, 0u);
}

TEST(Mp3val, RefusesUnusableInputAndLeavesItUntouched) {
    struct Case {
        const char* what;
        const char* fixture;  // null: no file at all
        const char* messagePart;
    };
    const Case cases[] = {
        {"missing file", nullptr, "cannot find"},
        {"empty file", "empty.mp3", "empty"},
        {"not an MP3", "notmp3.mp3", "not an MP3"},
    };
    for (const Case& c : cases) {
        for (bool repair : {false, true}) {
            ScratchDir scratch;
            std::string file = scratch / "input.mp3";
            Bytes original;
            if (c.fixture) {
                original = tooltest::ReadBytes(tooltest::FixturePath(c.fixture));
                tooltest::WriteBytes(file, original);
            }
            std::vector<std::string> args;
            if (repair) args.push_back("-f");
            args.push_back(file);
            RunResult run = RunTool(kRepairTool, args);
            EXPECT_EQ(run.exitCode, 2) << c.what;
            EXPECT_NE(run.err.find(c.messagePart), std::string::npos) << c.what << ": " << run.err;
            if (c.fixture) {
                EXPECT_EQ(tooltest::ReadBytes(file), original) << c.what;
                EXPECT_EQ(scratch.Names(), std::vector<std::string>{"input.mp3"}) << c.what;
            } else {
                EXPECT_TRUE(scratch.Names().empty()) << c.what;
            }
        }
    }
    EXPECT_EQ(RunTool(kRepairTool, {}).exitCode, 2);
    EXPECT_EQ(RunTool(kRepairTool, {"-x", "a.mp3"}).exitCode, 2);
    ScratchDir folder;
    EXPECT_EQ(RunTool(kRepairTool, {"-f", folder.Path()}).exitCode, 2);
}

// A file of something else with a few bytes that happen to look like frames must not be
// cut down to those frames.
TEST(Mp3val, DoesNotTurnOtherDataIntoATinyMp3) {
    ScratchDir scratch;
    Mp3View source = tooltest::ViewMp3(tooltest::FixturePath("cbr128.mp3"));
    Bytes file = Garbage(200000);
    for (size_t i = 0; i < 4; ++i) {
        Bytes frame = source.FrameBytes(10 + i);
        Insert(file, 100000, frame);
    }
    tooltest::WriteBytes(scratch / "data.mp3", file);
    RunResult run = RunTool(kRepairTool, {"-f", scratch / "data.mp3"});
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_EQ(tooltest::ReadBytes(scratch / "data.mp3"), file);
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"data.mp3"});
}

}  // namespace
