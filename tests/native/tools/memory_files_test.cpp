// The folder held in memory that the fuzz targets run the tools in: it must answer as a real
// folder on the disk does, so the real folder is asked the same questions and is the oracle.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tool_test_support.h"
#include "tools/common/file_system.h"
#include "tools/common/joined_text.h"
#include "tools/common/temp_output.h"

namespace {

using tooltest::ScratchDir;

// The answers a folder gives about the paths in and around it.
struct Answers {
    std::vector<toolcommon::PathKind> kinds;
    std::vector<std::string> entries;
    std::vector<std::string> nestedEntries;
};

// Names chosen to trip a test by prefix: "a.mp3x" begins with "a.mp3", and the neighbour
// folder "<folder>x" begins with the folder's own path.
const char* const kNames[] = {"a.mp3", "a.mp3x", ".a.mp3.partial-1-0"};

std::vector<std::string> Probes(const std::string& folder) {
    return {folder, folder + "/", folder + "/a.mp3", folder + "/a.mp3x", folder + "/a.mp", folder + "/a.mp3/",
            folder + "x/a.mp3"};
}

Answers Ask(const std::string& folder) {
    Answers answers;
    for (const std::string& probe : Probes(folder)) answers.kinds.push_back(toolcommon::GetPathKind(probe));
    answers.entries = toolcommon::FolderEntries(folder);
    std::sort(answers.entries.begin(), answers.entries.end());
    answers.nestedEntries = toolcommon::FolderEntries(folder + "/");
    std::sort(answers.nestedEntries.begin(), answers.nestedEntries.end());
    return answers;
}

class MemoryFolderOff {
public:
    ~MemoryFolderOff() { toolcommon::memoryfiles::SwitchOff(); }
};

TEST(MemoryFiles, FolderAnswersAsARealFolderDoes) {
    const ScratchDir disk;
    for (const char* name : kNames) tooltest::WriteBytes(disk / name, {1, 2, 3});
    const std::string neighbour = disk.Path() + "x";
    ASSERT_EQ(mkdir(neighbour.c_str(), 0700), 0);
    tooltest::WriteBytes(neighbour + "/a.mp3", {4});
    tooltest::WriteBytes(neighbour + "y", {4});  // a file beside the folder
    const Answers real = Ask(disk.Path());
    std::remove((neighbour + "/a.mp3").c_str());
    std::remove((neighbour + "y").c_str());
    rmdir(neighbour.c_str());

    const MemoryFolderOff off;
    const std::string folder = "/nonexistent-memory-folder";
    toolcommon::memoryfiles::SwitchOn(folder);
    for (const char* name : kNames) toolcommon::memoryfiles::Files()[folder + "/" + name] = {1, 2, 3};
    toolcommon::memoryfiles::Files()[folder + "x/a.mp3"] = {4};
    toolcommon::memoryfiles::Files()[folder + "xy"] = {4};
    const Answers memory = Ask(folder);
    EXPECT_EQ(memory.kinds, real.kinds);
    EXPECT_EQ(memory.entries, real.entries);
    EXPECT_EQ(memory.nestedEntries, real.nestedEntries);
    EXPECT_EQ(memory.entries, (std::vector<std::string>{".a.mp3.partial-1-0", "a.mp3", "a.mp3x"}));
    // A file under a deeper path is no entry of the folder (the memory holds no sub-folders).
    toolcommon::memoryfiles::Files()[folder + "/sub/a.mp3"] = {5};
    EXPECT_EQ(toolcommon::FolderEntries(folder).size(), 3u);
}

TEST(MemoryFiles, PathsJoinAsWritten) {
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } cases[] = {
        {"", "a.mp3", "a.mp3"},
        {"/", "a.mp3", "/a.mp3"},
        {"music", "a.mp3", "music/a.mp3"},
        {"music/", "a.mp3", "music/a.mp3"},
        {"/music/", "", "/music/"},
        {"/music", "", "/music/"},
    };
    for (const auto& c : cases) EXPECT_EQ(toolcommon::JoinPath(c.folder, c.name), c.joined) << c.folder;
    EXPECT_EQ(toolcommon::Joined({}), "");
    EXPECT_EQ(toolcommon::Joined({"mp3val", ": ", "", "cannot find '", "x", "'\n"}), "mp3val: cannot find 'x'\n");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(toolcommon::Joined({withNul, withNul}), std::string("a\0ba\0b", 6));
}

}  // namespace

namespace {

using Bytes = std::vector<uint8_t>;

// Storage of removed files is handed to new ones: a new file must still start empty, and a
// taken name must not be handed out again.
TEST(MemoryFiles, ReusedStorageStartsEmpty) {
    const MemoryFolderOff off;
    const std::string folder = "/nonexistent-memory-folder";
    const std::string a = folder + "/a.mp3", b = folder + "/b.mp3", c = folder + "/c.mp3";
    toolcommon::memoryfiles::SwitchOn(folder);
    const auto& files = toolcommon::memoryfiles::Files();

    toolcommon::memoryfiles::Add(a)->assign({1, 2, 3});
    EXPECT_EQ(toolcommon::memoryfiles::Add(a), nullptr);
    EXPECT_EQ(files.at(a), (Bytes{1, 2, 3}));
    ASSERT_TRUE(toolcommon::RemoveFile(a));
    EXPECT_FALSE(toolcommon::RemoveFile(a));
    std::vector<uint8_t>* reused = toolcommon::memoryfiles::Add(b);
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(*reused, Bytes{});
    reused->assign({4, 5});
    toolcommon::memoryfiles::Add(a)->assign({6});

    // Replacing b by a: b holds a's bytes, a is gone, and b's old storage comes back empty.
    ASSERT_TRUE(toolcommon::RenameReplacing(a, b));
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(files.at(b), Bytes{6});
    EXPECT_EQ(*toolcommon::memoryfiles::Add(c), Bytes{});
    EXPECT_FALSE(toolcommon::RenameIfAbsent(c, b));
    EXPECT_EQ(files.at(b), Bytes{6});

    ASSERT_TRUE(toolcommon::KeepBackupOf(b, a));
    EXPECT_EQ(files.at(a), Bytes{6});
    EXPECT_EQ(files.at(b), Bytes{6});
    EXPECT_FALSE(toolcommon::KeepBackupOf(b, a));

    toolcommon::memoryfiles::Clear();
    EXPECT_TRUE(files.empty());
    {
        const uint8_t written[] = {7, 8};
        toolcommon::TempOutput output;
        ASSERT_TRUE(output.Create(folder, "d.mp3"));
        ASSERT_TRUE(output.Write(written, sizeof written));
        ASSERT_TRUE(output.CommitAs(folder + "/d.mp3"));
    }
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(files.at(folder + "/d.mp3"), (Bytes{7, 8}));
    toolcommon::memoryfiles::Clear();
    for (const std::string& path : {a, b, c, a + "x"}) EXPECT_EQ(*toolcommon::memoryfiles::Add(path), Bytes{}) << path;
    // With storage to spare, a taken name is still refused.
    ASSERT_TRUE(toolcommon::RemoveFile(c));
    EXPECT_EQ(toolcommon::memoryfiles::Add(a), nullptr);
    EXPECT_EQ(toolcommon::FolderEntries(folder), (std::vector<std::string>{"a.mp3", "a.mp3x", "b.mp3"}));
}

}  // namespace
