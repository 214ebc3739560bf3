// The roaming-folder lookup and the two directory routines, on real folders.
#include "settings/data_folder.h"
#include "tests/win/settings/settings_test_helpers.h"
#include "tests/win/support/test_support.h"

#include <shlwapi.h>
#include <cstdio>

#include <gtest/gtest.h>

namespace {

std::wstring SystemDrive() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(1, system[0]);
}

std::wstring UserName() {
    wchar_t name[MAX_PATH] = {};
    DWORD units = MAX_PATH;
    GetUserNameW(name, &units);
    return name;
}

std::wstring Roaming(DWORD version) {
    wchar_t folder[MAX_PATH] = {};
    wchar_t* result = GetRoamingFolder(version, folder);
    EXPECT_EQ(folder, result);
    return folder;
}

TEST(RoamingFolder, WithoutUserProfileItIsBuiltFromTheSystemDriveAndTheLogonName) {
    ScopedVariable unset(L"USERPROFILE", nullptr);
    ASSERT_FALSE(UserName().empty());
    EXPECT_EQ(SystemDrive() + L":\\Users\\" + UserName() + L"\\AppData\\Roaming", Roaming(6));
    EXPECT_EQ(SystemDrive() + L":\\Users\\" + UserName() + L"\\AppData\\Roaming", Roaming(10));
    EXPECT_EQ(SystemDrive() + L":\\Documents and Settings\\" + UserName() + L"\\Application Data", Roaming(5));
    EXPECT_EQ(SystemDrive() + L":\\Documents and Settings\\" + UserName() + L"\\Application Data", Roaming(4));
}

TEST(RoamingFolder, WithUserProfileItLiesInsideTheProfile) {
    struct Case {
        const wchar_t* profile;
        DWORD version;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"D:\\Profiles\\li", 6, L"D:\\Profiles\\li\\AppData\\Roaming"},
        {L"D:\\Profiles\\li\\", 6, L"D:\\Profiles\\li\\AppData\\Roaming"},
        {L"D:\\Profiles\\li", 5, L"D:\\Profiles\\li\\Application Data"},
        {L"C:\\用户\\张三", 10, L"C:\\用户\\张三\\AppData\\Roaming"},
    };
    for (const Case& c : cases) {
        ScopedVariable profile(L"USERPROFILE", c.profile);
        EXPECT_EQ(c.expected, Roaming(c.version)) << c.profile;
    }
}

class DirectoryRoutines : public ::testing::Test {
protected:
    void SetUp() override { root_ = MakeTempFolder(L"dirs"); }
    void TearDown() override { DeleteTree(root_.c_str()); }
    std::wstring At(const wchar_t* relative) const { return Join(root_, relative); }
    std::wstring root_;
};

TEST_F(DirectoryRoutines, CreateDirectoryChainMakesEveryFolderBeforeASeparator) {
    CreateDirectoryChain(At(L"a\\b\\c\\file.txt").c_str(), FALSE);
    EXPECT_TRUE(IsDirectory(At(L"a")));
    EXPECT_TRUE(IsDirectory(At(L"a\\b\\c")));
    EXPECT_FALSE(PathFileExistsW(At(L"a\\b\\c\\file.txt").c_str()));

    CreateDirectoryChain(At(L"d\\e").c_str(), TRUE);
    EXPECT_TRUE(IsDirectory(At(L"d\\e")));

    CreateDirectoryChain(At(L"f\\g\\").c_str(), FALSE);
    EXPECT_TRUE(IsDirectory(At(L"f\\g")));

    std::wstring slashed = At(L"h/i/j");
    CreateDirectoryChain(slashed.c_str(), FALSE);
    EXPECT_TRUE(IsDirectory(At(L"h\\i")));
    EXPECT_FALSE(PathFileExistsW(At(L"h\\i\\j").c_str()));
}

TEST_F(DirectoryRoutines, CreateDirectoryChainLeavesExistingFilesAlone) {
    ASSERT_TRUE(WriteWholeFile(At(L"taken"), "data"));
    CreateDirectoryChain(At(L"taken\\x\\y").c_str(), TRUE);
    EXPECT_EQ("data", ReadWholeFile(At(L"taken")));
}

TEST_F(DirectoryRoutines, DeleteTreeRemovesNestedFoldersWithReadOnlyAndHiddenFiles) {
    CreateDirectoryChain(At(L"tree\\one\\two\\three").c_str(), TRUE);
    CreateDirectoryChain(At(L"tree\\empty").c_str(), TRUE);
    CreateDirectoryChain(At(L"keep").c_str(), TRUE);
    const wchar_t* files[] = {L"tree\\top.txt", L"tree\\one\\ro.txt", L"tree\\one\\two\\three\\deep.bin",
                              L"tree\\one\\two\\hidden.sys", L"keep\\stay.txt"};
    for (const wchar_t* file : files) ASSERT_TRUE(WriteWholeFile(At(file), "content"));
    SetFileAttributesW(At(L"tree\\one\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(At(L"tree\\one\\two\\three\\deep.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(At(L"tree\\one\\two\\hidden.sys").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(At(L"tree\\empty").c_str(), FILE_ATTRIBUTE_READONLY);

    DeleteTree(At(L"tree").c_str());
    EXPECT_FALSE(PathFileExistsW(At(L"tree").c_str()));
    EXPECT_EQ("content", ReadWholeFile(At(L"keep\\stay.txt")));
}

TEST_F(DirectoryRoutines, DeleteTreeOfAMissingFolderDoesNothing) {
    DeleteTree(At(L"nothing\\here").c_str());
    EXPECT_TRUE(IsDirectory(root_));
}

// A link inside the tree goes, what it points at stays. (Wine 8 creates the link but cannot
// follow it; there the test shows only that the link itself is removed with the tree.)
TEST_F(DirectoryRoutines, DeleteTreeRemovesADirectoryLinkButNotItsTarget) {
    CreateDirectoryChain(At(L"outside").c_str(), TRUE);
    ASSERT_TRUE(WriteWholeFile(At(L"outside\\precious.txt"), "keep me"));
    CreateDirectoryChain(At(L"tree").c_str(), TRUE);
    if (!CreateSymbolicLinkW(At(L"tree\\link").c_str(), At(L"outside").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "this system cannot create directory links (error " << GetLastError() << ")";
    if (ReadWholeFile(At(L"tree\\link\\precious.txt")) != "keep me")
        std::printf("note: the directory link cannot be followed on this system\n");

    DeleteTree(At(L"tree").c_str());
    EXPECT_FALSE(PathFileExistsW(At(L"tree").c_str()));
    EXPECT_EQ("keep me", ReadWholeFile(At(L"outside\\precious.txt")));
}

}  // namespace
