// The splitter's command line and time notation.
#include "cut/cut.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::wstring SplitterTime(int ms) {
    wchar_t text[splitterTimeUnits] = {};
    FormatSplitterTime(ms, text, splitterTimeUnits);
    return text;
}

TEST(SplitterTime, MinutesSecondsHundredthsTruncatedAndUnpadded) {
    const struct {
        int ms;
        const wchar_t* expected;
    } cases[] = {
        {0, L"0.0.0"},      {9, L"0.0.0"},         {999, L"0.0.99"},  {59999, L"0.59.99"},
        {60000, L"1.0.0"},  {60050, L"1.0.5"},     {65050, L"1.5.5"}, {83456, L"1.23.45"},
        {95000, L"1.35.0"}, {3723999, L"62.3.99"},  // minutes are not wrapped into hours
    };
    for (const auto& c : cases) EXPECT_EQ(SplitterTime(c.ms), c.expected) << c.ms;
}

TEST(SplitterCommandLine, QuotesPathsAndSplitsTheOutputIntoFolderAndName) {
    const struct {
        const wchar_t* input;
        int startMs;
        int endMs;
        const wchar_t* output;
        bool frameMode;
        const wchar_t* expected;
    } cases[] = {
        {L"D:\\a b\\talk.mp3", 83456, 95000, L"D:\\out\\part1.mp3", true,
         L"\"C:\\Tools\\mp3splt.exe\" \"D:\\a b\\talk.mp3\" 1.23.45 1.35.0 -d \"D:\\out\" -o \"part1\" -f"},
        {L"D:\\a b\\talk.mp3", 83456, 95000, L"D:\\out\\part1.mp3", false,
         L"\"C:\\Tools\\mp3splt.exe\" \"D:\\a b\\talk.mp3\" 1.23.45 1.35.0 -d \"D:\\out\" -o \"part1\""},
        // A drive's root folder is passed without its separator.
        {L"C:\\in.mp3", 0, 60000, L"D:\\x.mp3", false,
         L"\"C:\\Tools\\mp3splt.exe\" \"C:\\in.mp3\" 0.0.0 1.0.0 -d \"D:\" -o \"x\""},
        // Only the last extension is removed from the name.
        {L"C:\\in.mp3", 65050, 3723999, L"C:\\out dir\\a.b.mp3", true,
         L"\"C:\\Tools\\mp3splt.exe\" \"C:\\in.mp3\" 1.5.5 62.3.99 -d \"C:\\out dir\" -o \"a.b\" -f"},
        {L"C:\\in.mp3", 1000, 1200, L"E:\\剪切\\片段.MP3", true,
         L"\"C:\\Tools\\mp3splt.exe\" \"C:\\in.mp3\" 0.1.0 0.1.20 -d \"E:\\剪切\" -o \"片段\" -f"},
        {L"C:\\in.mp3", 1000, 1200, L"C:\\clip.wav.mp3", false,
         L"\"C:\\Tools\\mp3splt.exe\" \"C:\\in.mp3\" 0.1.0 0.1.20 -d \"C:\" -o \"clip.wav\""},
    };
    for (const auto& c : cases) {
        wchar_t line[splitterCommandUnits] = {};
        EXPECT_TRUE(BuildSplitterCommandLine(L"C:\\Tools\\mp3splt.exe", c.input, c.startMs, c.endMs, c.output,
                                             c.frameMode, line, splitterCommandUnits));
        EXPECT_EQ(std::wstring(line), c.expected) << c.output;
    }
}

TEST(SplitterCommandLine, ReportsALineThatDoesNotFit) {
    wchar_t line[24];
    wmemset(line, L'x', 24);
    EXPECT_FALSE(
        BuildSplitterCommandLine(L"C:\\Tools\\mp3splt.exe", L"C:\\in.mp3", 0, 1000, L"C:\\o.mp3", true, line, 24));
    EXPECT_EQ(line[23], L'\0');
}

// Explorer ends an unquoted path at its first comma and would select nothing.
TEST(RevealParameters, QuoteThePath) {
    wchar_t parameters[300] = {};
    FormatRevealParameters(L"D:\\歌曲\\a, b.mp3", parameters, 300);
    EXPECT_EQ(std::wstring(parameters), L"/select,\"D:\\歌曲\\a, b.mp3\"");
}

}  // namespace
