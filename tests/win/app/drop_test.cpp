// Files dropped on the main window, delivered as a real HDROP block.
#include "tests/win/app/app_fixture.h"

#include <shlobj.h>
#include <vector>

namespace {

// Builds the memory block Explorer hands to WM_DROPFILES: DROPFILES, then the wide paths,
// each NUL-terminated, and a final NUL.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t units = 1;
    for (const auto& path : paths) units += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* cursor = reinterpret_cast<wchar_t*>(header + 1);
    for (const auto& path : paths) {
        wcscpy(cursor, path.c_str());
        cursor += path.size() + 1;
    }
    *cursor = L'\0';
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

void Drop(const std::vector<std::wstring>& paths) {
    SendMessageW(theApp.mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
}

class DropTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        folder = MakeTempFolder(L"clipvane-drop");
        ASSERT_FALSE(folder.empty());
    }
    std::wstring CopyFixtureAs(const wchar_t* name) {
        std::wstring path = folder + L"\\" + name;
        EXPECT_TRUE(CopyFileW(FixturePath(L"cbr128.mp3").c_str(), path.c_str(), FALSE));
        return path;
    }
    std::wstring folder;
};

}  // namespace

TEST_F(DropTest, AnMp3InCapitalsOpens) {
    std::wstring path = CopyFixtureAs(L"LOUD.MP3");
    Drop({path});
    EXPECT_TRUE(theApp.loaded);
    EXPECT_EQ(path, theApp.currentFile);
}

TEST_F(DropTest, OtherExtensionsOnlyPlayTheSoundAndLoadNothing) {
    for (const wchar_t* name : {L"song.mp3.txt", L"song"}) {
        Drop({CopyFixtureAs(name)});
        EXPECT_FALSE(theApp.loaded) << name;
    }
}

TEST_F(DropTest, OnlyTheFirstOfSeveralFilesCounts) {
    std::wstring text = CopyFixtureAs(L"first.txt");
    std::wstring mp3 = CopyFixtureAs(L"second.mp3");
    Drop({text, mp3});
    EXPECT_FALSE(theApp.loaded);

    Drop({mp3, text});
    EXPECT_TRUE(theApp.loaded);
    EXPECT_EQ(mp3, theApp.currentFile);
}

TEST_F(DropTest, ARejectedDropLeavesTheLoadedFileAlone) {
    std::wstring mp3 = CopyFixtureAs(L"keep.mp3");
    Drop({mp3});
    ASSERT_TRUE(theApp.loaded);
    Drop({CopyFixtureAs(L"notes.txt")});
    EXPECT_TRUE(theApp.loaded);
    EXPECT_EQ(mp3, theApp.currentFile);
}

TEST(RejectSound, IsSkippedWithoutTheChordBesideTheProgram) {
    // The test programs' folder holds no chord.wav; the worker must give up quietly.
    std::wstring chord = ProgramFolder() + L"\\chord.wav";
    if (FileExists(chord)) GTEST_SKIP() << "a chord.wav lies beside the test program";
    EXPECT_EQ(0u, PlayRejectSound(nullptr));
}
