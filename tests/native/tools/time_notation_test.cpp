// The splitter's time notation and argument parsing, called directly.
#include <gtest/gtest.h>

#include "tools/mp3splt/split_request.h"

namespace {

struct TimeCase {
    const char* text;
    int64_t expectedMs;  // -1: refused
};

TEST(TimeNotation, ParsesAndRefuses) {
    const TimeCase cases[] = {
        {"0.0.0", 0},
        {"1.23.45", 83450},
        {"1.0.5", 60050},  // hundredths, not a decimal fraction
        {"1.0.50", 60500},
        {"62.3.99", 3723990},
        {"1.23", 83000},
        {"0.59.99", 59990},
        {"120.0.0", 7200000},  // minutes are not limited to 59
        {"00.00.00", 0},
        {"1.60.0", -1},
        {"1.0.100", -1},
        {"1.0.123", -1},
        {"1", -1},
        {"1.2.3.4", -1},
        {"", -1},
        {"..", -1},
        {"1..5", -1},
        {"a.b.c", -1},
        {"-1.0.0", -1},
        {"1.0.-5", -1},
        {" 1.0.0", -1},
        {"1.0.0 ", -1},
        {"99999999.0.0", -1},
        {"1,5", -1},
    };
    for (const TimeCase& c : cases) {
        std::optional<int64_t> parsed = mp3splt::ParseCutTime(c.text);
        if (c.expectedMs < 0) {
            EXPECT_FALSE(parsed.has_value()) << "'" << c.text << "' should be refused";
        } else {
            ASSERT_TRUE(parsed.has_value()) << "'" << c.text << "' should be accepted";
            EXPECT_EQ(*parsed, c.expectedMs) << c.text;
        }
    }
}

TEST(TimeNotation, FormatsWhatItParses) {
    for (int64_t ms : {0LL, 10LL, 83450LL, 3723990LL, 59990LL}) {
        std::optional<int64_t> back = mp3splt::ParseCutTime(mp3splt::FormatCutTime(ms));
        ASSERT_TRUE(back.has_value()) << mp3splt::FormatCutTime(ms);
        EXPECT_EQ(*back, ms);
    }
}

TEST(SplitArguments, ReadsTheProgramsCommandLine) {
    std::string error;
    auto request = mp3splt::ParseSplitArguments(
        {"D:\\a b\\talk.mp3", "1.23.45", "1.35.0", "-d", "D:\\out", "-o", "part1.x", "-f"}, error);
    ASSERT_TRUE(request.has_value()) << error;
    EXPECT_EQ(request->input, "D:\\a b\\talk.mp3");
    EXPECT_EQ(request->startMs, 83450);
    EXPECT_EQ(request->endMs, 95000);
    EXPECT_EQ(request->folder, "D:\\out");
    EXPECT_EQ(request->name, "part1.x");
    EXPECT_TRUE(request->frameMode);

    request = mp3splt::ParseSplitArguments({"in.mp3", "0.0.0", "0.1.0", "-d", "D:", "-o", "n"}, error);
    ASSERT_TRUE(request.has_value()) << error;
    EXPECT_FALSE(request->frameMode);
    EXPECT_EQ(request->folder, "D:");
}

TEST(SplitArguments, RefusesBadCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"in.mp3"},
        {"in.mp3", "0.0.0", "0.1.0"},
        {"in.mp3", "0.0.0", "0.1.0", "-d", "out"},
        {"in.mp3", "0.0.0", "0.1.0", "-o", "n"},
        {"in.mp3", "0.0.0", "0.1.0", "-d", "out", "-o"},
        {"in.mp3", "0.1.0", "0.1.0", "-d", "out", "-o", "n"},
        {"in.mp3", "0.2.0", "0.1.0", "-d", "out", "-o", "n"},
        {"in.mp3", "0.0.0", "0.61.0", "-d", "out", "-o", "n"},
        {"in.mp3", "0.0.0", "0.1.0", "-d", "out", "-o", "sub/n"},
        {"in.mp3", "0.0.0", "0.1.0", "-d", "out", "-o", ""},
        {"in.mp3", "0.0.0", "0.1.0", "-d", "out", "-o", "n", "-x"},
        {"in.mp3", "0.0.0", "0.1.0", "extra", "-d", "out", "-o", "n"},
    };
    for (const auto& args : bad) {
        std::string error;
        std::string joined;
        for (const std::string& arg : args) joined += "[" + arg + "]";
        EXPECT_FALSE(mp3splt::ParseSplitArguments(args, error).has_value()) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

}  // namespace
