// The tools' own file access: a result written in pieces of every size and rewritten in
// places (as the information frame and a tag's length are at the end), read back by offset.
#include <gtest/gtest.h>

#include <algorithm>

#include "tool_test_support.h"
#include "tools/common/file_system.h"
#include "tools/common/temp_output.h"

namespace {

using tooltest::Bytes;
using tooltest::ScratchDir;

Bytes Pattern(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

// Pieces of a few hundred bytes (frames), one far larger than any write buffer (a tag), and
// rewrites at every 4099th byte, 5000 bytes each: they fall on bytes already handed to the
// system, on bytes still waiting, and across the border between the two, wherever it lies.
TEST(ToolFiles, RewrittenResultReadsBackAsComposed) {
    const ScratchDir dir;
    toolcommon::TempOutput output;
    ASSERT_TRUE(output.Create(dir.Path(), "result.mp3")) << output.Error();
    Bytes expected;
    uint32_t seed = 1;
    for (size_t piece : {417, 418, 1, 0, 2881, 3 << 20, 104, 417, 65536, 418}) {
        for (int repeat = 0; repeat < (piece < 1000 ? 700 : 1); ++repeat) {
            const Bytes bytes = Pattern(piece, seed++);
            ASSERT_TRUE(output.Write(bytes.data(), bytes.size())) << output.Error();
            expected.insert(expected.end(), bytes.begin(), bytes.end());
            if (expected.size() % 5 != 0) continue;
            // Now and then a rewrite while writing goes on, as a grown last frame's header is.
            const Bytes patch = Pattern(std::min<size_t>(expected.size(), 6), seed++);
            ASSERT_TRUE(output.Overwrite(expected.size() - patch.size(), patch.data(), patch.size()));
            std::copy(patch.begin(), patch.end(), expected.end() - std::ptrdiff_t(patch.size()));
        }
    }
    ASSERT_EQ(output.Size(), expected.size());
    for (size_t at = 0; at < expected.size(); at += 4099) {
        const Bytes patch = Pattern(std::min<size_t>(5000, expected.size() - at), seed++);
        ASSERT_TRUE(output.Overwrite(at, patch.data(), patch.size())) << at << ": " << output.Error();
        std::copy(patch.begin(), patch.end(), expected.begin() + std::ptrdiff_t(at));
    }
    // Read back before it is finished, as the end of a cut is looked at, wherever the border
    // between the bytes handed on and those still waiting lies.
    for (size_t at = 0; at < expected.size(); at += 4099) {
        Bytes got(std::min<size_t>(5000, expected.size() - at));
        ASSERT_TRUE(output.ReadBack(at, got.data(), got.size())) << at << ": " << output.Error();
        ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + std::ptrdiff_t(at))) << at;
    }
    uint8_t past = 0;
    EXPECT_FALSE(output.ReadBack(expected.size(), &past, 1));
    const uint8_t one = 0;
    EXPECT_FALSE(output.Overwrite(expected.size(), &one, 1));
    ASSERT_TRUE(output.CommitAs(dir / "result.mp3")) << output.Error();
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"result.mp3"});
    ASSERT_EQ(tooltest::ReadBytes(dir / "result.mp3"), expected);

    // Read back by offset: within, across the end, at and past it.
    toolcommon::InputFile input;
    ASSERT_TRUE(input.Open(dir / "result.mp3"));
    ASSERT_EQ(input.Size(), expected.size());
    struct Read {
        uint64_t offset;
        size_t count;
        size_t got;
    };
    const uint64_t size = expected.size();
    for (const Read& read : {Read{0, 1, 1}, Read{12345, 300000, 300000}, Read{size - 7, 100, 7}, Read{size, 1, 0},
                             Read{size + 5, 10, 0}, Read{0, 0, 0}}) {
        Bytes got(read.count + 1, 0xEE);
        ASSERT_EQ(input.ReadAt(read.offset, got.data(), read.count), read.got) << read.offset;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + std::ptrdiff_t(read.got),
                               expected.begin() + std::ptrdiff_t(std::min(read.offset, size))))
            << read.offset;
        EXPECT_EQ(got[read.got], 0xEE) << read.offset;  // nothing beyond what it says it read
    }
    toolcommon::InputFile missing;
    EXPECT_FALSE(missing.Open(dir / "nothing.mp3"));
}

}  // namespace
