// The tools' error lines as a caller reads them from standard error: whole lines, each ending
// in one line feed, and nothing else on either stream.
#include <gtest/gtest.h>

#include "tool_test_support.h"

namespace {

using tooltest::ScratchDir;

TEST(ToolMessages, AnErrorIsOneWholeLine) {
    const ScratchDir dir;
    const std::string missing = dir / "missing.mp3";
    const tooltest::RunResult cut = tooltest::RunTool(MP3SPLT_EXE, {missing, "0.0.0", "0.1.0", "-d", dir.Path(), "-o", "cut"});
    EXPECT_EQ(cut.exitCode, 2);
    EXPECT_EQ(cut.out, "");
    EXPECT_EQ(cut.err, "mp3splt: cannot find the input file '" + missing + "'\n");
    const tooltest::RunResult check = tooltest::RunTool(MP3VAL_EXE, {"-f", missing});
    EXPECT_EQ(check.exitCode, 2);
    EXPECT_EQ(check.out, "");
    EXPECT_EQ(check.err, "mp3val: cannot find '" + missing + "'\n");
}

}  // namespace
