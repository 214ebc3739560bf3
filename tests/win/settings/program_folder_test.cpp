// The program folder as it ships: the program started from a copy of it, and the two tools run
// from it on real MP3 files.
#include "settings/companion_files.h"
#include "settings/data_folder.h"
#include "tests/win/settings/settings_test_helpers.h"
#include "tests/win/support/test_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

constexpr DWORD startTimeoutMs = 120000;  // a new prefix builds its GStreamer registry first
constexpr DWORD exitTimeoutMs = 30000;
constexpr DWORD pollMs = 100;
constexpr DWORD quietAfterStartMs = 2000;

std::wstring ShippedFolder() { return WinePath(CLIPVANE_PROGRAM_FOLDER); }

// A copy of the shipped folder that the test may change. Its Clipvane.exe is the test build of
// the program (the same sources and resources, the vendor server at loopback), so that the
// start-up's two requests never leave this machine.
class FolderCopy {
public:
    FolderCopy() : folder_(MakeTempFolder(L"program")) {
        missing_ = CopyFiles(ShippedFolder(), folder_, FolderEntries(ShippedFolder()));
        if (!CopyFileW(Join(ProgramFolder(), L"loopback_program.exe").c_str(), Join(folder_, L"Clipvane.exe").c_str(),
                       FALSE))
            missing_.push_back(L"loopback_program.exe");
    }
    ~FolderCopy() { DeleteTree(folder_.c_str()); }
    const std::wstring& Folder() const { return folder_; }
    bool Complete() const { return missing_.empty() && PathFileExistsW(Join(folder_, L"Clipvane.exe").c_str()); }

private:
    std::wstring folder_;
    std::vector<std::wstring> missing_;
};

struct SeenBox {
    std::wstring caption;
    std::wstring text;
    std::wstring ownerClass;
};

// Answers the message boxes of a running Clipvane.exe with OK until it ends, recording each.
std::vector<SeenBox> AnswerBoxesUntilExit(ChildProcess& child, DWORD* exitCode, bool* ended) {
    std::vector<SeenBox> seen;
    std::vector<HWND> answered;
    DWORD start = GetTickCount();
    *ended = false;
    while (GetTickCount() - start < startTimeoutMs) {
        if (child.Wait(pollMs, exitCode)) {
            *ended = true;
            break;
        }
        for (HWND box : ProcessWindows(child.Id(), L"#32770")) {
            bool known = false;
            for (HWND done : answered) known = known || done == box;
            if (known || !IsWindowEnabled(box)) continue;
            Sleep(pollMs);  // let it finish filling in its texts
            wchar_t ownerClass[64] = {};
            GetClassNameW(GetWindow(box, GW_OWNER), ownerClass, 64);
            seen.push_back({WindowText(box), MessageBoxText(box), ownerClass});
            answered.push_back(box);
            PressDialogButton(box, IDOK);
        }
    }
    return seen;
}

TEST(ProgramFolder, HoldsExactlyWhatShips) {
    std::vector<std::wstring> expected = {L"Clipvane.exe", L"mp3parser.ax", L"eg.mp3", L"chord.wav"};
    for (const wchar_t* name : companionFiles) expected.push_back(name);
    std::vector<std::wstring> present = FolderEntries(ShippedFolder());
    for (const std::wstring& name : expected) {
        bool found = false;
        for (const std::wstring& entry : present) found = found || lstrcmpiW(entry.c_str(), name.c_str()) == 0;
        EXPECT_TRUE(found) << testing::PrintToString(name) << " is missing from the program folder";
    }
    EXPECT_EQ(expected.size(), present.size()) << "the program folder holds: " << testing::PrintToString(present);
}

// Starts the program from a copy of the folder without `removed` and answers its boxes: start-up
// must show exactly `message` over the main window, save the settings and end.
void ExpectStartUpToEndWith(const wchar_t* removed, const wchar_t* message) {
    FolderCopy copy;
    ASSERT_TRUE(copy.Complete()) << "program folder not assembled (target program_folder)";
    ASSERT_TRUE(DeleteFileW(Join(copy.Folder(), removed).c_str()));
    ScopedUserProfile profile;

    ChildProcess child;
    ASSERT_TRUE(child.Start(Join(copy.Folder(), L"Clipvane.exe"), L"", copy.Folder()));
    DWORD exitCode = 1;
    bool ended = false;
    std::vector<SeenBox> boxes = AnswerBoxesUntilExit(child, &exitCode, &ended);

    ASSERT_TRUE(ended) << "Clipvane.exe did not end after its message was answered";
    EXPECT_EQ(0u, exitCode);
    ASSERT_EQ(1u, boxes.size()) << "exactly one message, and no later check's message after it";
    EXPECT_EQ(message, boxes[0].text);
    EXPECT_EQ(L"Clipvane 2.1.5 （免费）", boxes[0].caption);
    EXPECT_EQ(L"Clipvane", boxes[0].ownerClass) << "the message is shown over the main window";
    EXPECT_EQ(defaultSettingsFile, ReadWholeFile(profile.SettingsFile()));
}

TEST(ProgramFolder, StartUpWithACompanionMissingShowsOneMessageAndStillSavesTheSettings) {
    ExpectStartUpToEndWith(L"libmad-0.dll", L"文件有缺失，请重装本软件");
}

TEST(ProgramFolder, StartUpWithoutTheParserFilterSaysFilesAreMissingAndEnds) {
    ExpectStartUpToEndWith(L"mp3parser.ax", L"文件有缺失，请重新安装本软件");
}

// True once the main window's thread answers messages and no error box has come up meanwhile.
bool WaitForRunningMainWindow(ChildProcess& child, HWND* mainWindow, std::wstring* problem) {
    DWORD start = GetTickCount();
    DWORD answeringSince = 0;
    while (GetTickCount() - start < startTimeoutMs) {
        if (!child.Running()) {
            *problem = L"Clipvane.exe ended during start-up";
            return false;
        }
        for (HWND box : ProcessWindows(child.Id(), L"#32770")) {
            *problem = L"start-up showed: " + MessageBoxText(box);
            PressDialogButton(box, IDOK);
            return false;
        }
        std::vector<HWND> windows = ProcessWindows(child.Id(), L"Clipvane");
        DWORD_PTR ignored = 0;
        if (windows.size() == 1 && SendMessageTimeoutW(windows[0], WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored)) {
            if (!answeringSince) answeringSince = GetTickCount();
            if (GetTickCount() - answeringSince >= quietAfterStartMs) {
                *mainWindow = windows[0];
                return true;
            }
        }
        Sleep(pollMs);
    }
    *problem = L"no main window in time";
    return false;
}

TEST(ProgramFolder, ClipvaneStartsFromTheCompleteFolderAndClosesCleanly) {
    FolderCopy copy;
    ASSERT_TRUE(copy.Complete()) << "program folder not assembled (target program_folder)";
    ScopedUserProfile profile;

    ChildProcess child;
    ASSERT_TRUE(child.Start(Join(copy.Folder(), L"Clipvane.exe"), L"", copy.Folder()));
    HWND mainWindow = nullptr;
    std::wstring problem;
    ASSERT_TRUE(WaitForRunningMainWindow(child, &mainWindow, &problem)) << testing::PrintToString(problem);
    EXPECT_EQ(L"Clipvane 2.1.5 （免费）", WindowText(mainWindow));

    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(child.Wait(exitTimeoutMs, &exitCode)) << "Clipvane.exe did not end after WM_CLOSE";
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(defaultSettingsFile, ReadWholeFile(profile.SettingsFile()));
}

class ShippedTools : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = MakeTempFolder(L"tools");
        ASSERT_TRUE(PathFileExistsW(FixturePath(L"cbr128.mp3").c_str())) << "fixtures not made";
    }
    void TearDown() override { DeleteTree(work_.c_str()); }

    DWORD Run(const wchar_t* tool, const std::wstring& arguments) {
        ChildProcess child;
        EXPECT_TRUE(child.Start(Join(ShippedFolder(), tool), arguments, work_));
        DWORD status = 999;
        EXPECT_TRUE(child.Wait(exitTimeoutMs, &status)) << "tool did not end";
        return status;
    }
    std::wstring work_;
};

TEST_F(ShippedTools, SplitterCutsAStretchFromTheProgramFolder) {
    std::wstring input = FixturePath(L"cbr128.mp3");
    DWORD status = Run(L"mp3splt.exe", L"\"" + input + L"\" 0.0.50 0.1.50 -d \"" + work_ + L"\" -o part -f");
    EXPECT_EQ(0u, status);
    std::string part = ReadWholeFile(Join(work_, L"part.mp3"));
    std::string whole = ReadWholeFile(input);
    ASSERT_GT(part.size(), 4000u) << "about one second at 128 kbit/s";
    EXPECT_LT(part.size(), whole.size());
}

TEST_F(ShippedTools, RepairToolChecksAndRepairsFromTheProgramFolder) {
    std::wstring clean = Join(work_, L"clean.mp3");
    std::wstring damaged = Join(work_, L"damaged.mp3");
    ASSERT_TRUE(CopyFileW(FixturePath(L"cbr128.mp3").c_str(), clean.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(FixturePath(L"garbage.mp3").c_str(), damaged.c_str(), FALSE));
    std::string before = ReadWholeFile(damaged);

    EXPECT_EQ(0u, Run(L"mp3val.exe", L"-f \"" + clean + L"\""));
    EXPECT_FALSE(PathFileExistsW((clean + L".bak").c_str()));

    EXPECT_EQ(1u, Run(L"mp3val.exe", L"-f \"" + damaged + L"\""));
    EXPECT_EQ(before, ReadWholeFile(damaged + L".bak"));
    EXPECT_LT(ReadWholeFile(damaged).size(), before.size());
}

}  // namespace
