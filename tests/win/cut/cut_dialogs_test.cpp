// The locating-mode dialog and the progress dialog on their own, with the real splitter.
#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"
#include "cut/cut.h"
#include "resource.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

constexpr DWORD cutTimeoutMs = 60000;
const wchar_t childPassedMarker[] = L"child-passed";

INT_PTR ShowModeDialog() {
    return DialogBoxParamW(theApp.hInstance, MAKEINTRESOURCEW(IDD_CUT_METHOD), theApp.mainWindow, CutMethodDialog, 0);
}

INT_PTR ShowProgressDialog(const std::wstring& output) {
    return DialogBoxParamW(theApp.hInstance, MAKEINTRESOURCEW(IDD_CUT_PROGRESS), theApp.mainWindow, CutProgressDialog,
                           reinterpret_cast<LPARAM>(output.c_str()));
}

// Sets the loaded-file fields the progress dialog reads, and puts them back afterwards.
class CutInput {
public:
    CutInput(const std::wstring& file, int a, int b) : a_(theApp.pointA), b_(theApp.pointB) {
        lstrcpynW(file_, theApp.currentFile, pathUnits);
        lstrcpynW(theApp.currentFile, file.c_str(), pathUnits);
        theApp.pointA = a;
        theApp.pointB = b;
    }
    ~CutInput() {
        lstrcpynW(theApp.currentFile, file_, pathUnits);
        theApp.pointA = a_;
        theApp.pointB = b_;
    }

private:
    wchar_t file_[pathUnits];
    int a_, b_;
};

TEST(CutMethodDialog, OpensOnFrameModeEveryTimeAndCanOnlyBeLeftWithOk) {
    DialogAnswerer answerer;
    bool frameAtFirstOpen = false;
    bool hasCloseBox = true;
    bool survivedCancel = false;
    answerer.Queue([&](HWND dialog) {
        frameAtFirstOpen = IsDlgButtonChecked(dialog, IDC_MODE_FRAME) == BST_CHECKED;
        hasCloseBox = (GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) != 0;
        // Esc as the keyboard sends it, the cancel command itself, and a close request.
        PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        Sleep(400);
        survivedCancel = IsWindow(dialog) && IsWindowVisible(dialog);
        SendMessageW(GetDlgItem(dialog, IDC_MODE_BITRATE), BM_CLICK, 0, 0);
        DialogAnswerer::PressButton(IDOK)(dialog);
    });
    EXPECT_EQ(ShowModeDialog(), IDOK);
    EXPECT_TRUE(frameAtFirstOpen);
    EXPECT_FALSE(hasCloseBox);
    EXPECT_TRUE(survivedCancel);
    EXPECT_FALSE(useFrameMode);

    // The bitrate choice just made is not remembered.
    auto seen = std::make_shared<ModeSeen>();
    answerer.Queue(AnswerMode(seen, false));
    EXPECT_EQ(ShowModeDialog(), IDOK);
    EXPECT_TRUE(seen->frameCheckedAtOpen);
    EXPECT_TRUE(useFrameMode);
}

TEST(CutProgressDialog, ReportsCompletionIgnoresLateTicksAndRevealsTheFile) {
    std::wstring folder = MakeTempFolder(L"cut-progress");
    std::wstring output = folder + L"\\part.mp3";
    CutInput input(FixturePath(L"cbr128.mp3"), 1000, 4000);
    useFrameMode = true;
    std::vector<DWORD> explorersBefore = ProcessIdsOf(L"explorer.exe");

    DialogAnswerer answerer;
    std::wstring statusAtEnd, statusAfterTicks, shownPath;
    bool animationVisible = true;
    answerer.Queue([&](HWND dialog) {
        shownPath = WindowText(GetDlgItem(dialog, IDC_CUT_OUTPUT_PATH));
        DWORD start = GetTickCount();
        while (WindowText(GetDlgItem(dialog, IDC_CUT_STATUS)) == L"正在剪切中…" &&
               GetTickCount() - start < cutTimeoutMs)
            Sleep(50);
        statusAtEnd = WindowText(GetDlgItem(dialog, IDC_CUT_STATUS));
        animationVisible = IsWindowVisible(GetDlgItem(dialog, IDC_CUT_ANIMATION)) != FALSE;
        // Ticks that arrive after the end must not touch the closed process handle again.
        PostMessageW(dialog, WM_TIMER, 1500, 0);
        PostMessageW(dialog, WM_TIMER, 1500, 0);
        Sleep(300);
        statusAfterTicks = WindowText(GetDlgItem(dialog, IDC_CUT_STATUS));
        DialogAnswerer::PressButton(IDC_CUT_REVEAL)(dialog);
        Sleep(300);
        DialogAnswerer::PressButton(IDCANCEL)(dialog);
    });
    EXPECT_EQ(ShowProgressDialog(output), IDCANCEL);
    EXPECT_EQ(shownPath, output);
    EXPECT_EQ(statusAtEnd, Text(IDS_CUT_DONE));
    EXPECT_FALSE(animationVisible);
    EXPECT_EQ(statusAfterTicks, Text(IDS_CUT_DONE));
    EXPECT_TRUE(FileExists(output));

    // 查看 starts Explorer; the test ends the one it caused.
    std::vector<DWORD> started;
    PumpUntil(
        [&] {
            started.clear();
            for (DWORD id : ProcessIdsOf(L"explorer.exe"))
                if (std::find(explorersBefore.begin(), explorersBefore.end(), id) == explorersBefore.end())
                    started.push_back(id);
            return !started.empty();
        },
        10000);
    EXPECT_FALSE(started.empty()) << "查看 started no explorer.exe";
    for (DWORD id : started) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    RemoveFolderTree(folder);
}

TEST(CutProgressDialog, ReportsFailureWhenTheSplitterFails) {
    std::wstring folder = MakeTempFolder(L"cut-failure");
    std::wstring notAudio = folder + L"\\notes.mp3";
    ASSERT_TRUE(WriteAllBytes(notAudio, std::string(20000, 'x')));
    std::wstring output = folder + L"\\part.mp3";
    CutInput input(notAudio, 1000, 4000);

    DialogAnswerer answerer;
    auto seen = std::make_shared<ProgressSeen>();
    answerer.Queue(AnswerProgress(seen, cutTimeoutMs));
    EXPECT_EQ(ShowProgressDialog(output), IDCANCEL);
    EXPECT_EQ(seen->finalStatus, L"剪切失败");
    EXPECT_FALSE(seen->animationVisible);
    EXPECT_FALSE(FileExists(output));
    RemoveFolderTree(folder);
}

// Run only in a copy of this program that has no splitter beside it (see the test below).
TEST(CutProgressDialogWithoutSplitter, DISABLED_SaysTheSplitterCouldNotBeStarted) {
    std::wstring folder = MakeTempFolder(L"cut-nosplitter");
    std::wstring output = folder + L"\\part.mp3";
    CutInput input(FixturePath(L"cbr128.mp3"), 1000, 4000);
    DialogAnswerer answerer;
    auto seen = std::make_shared<ProgressSeen>();
    answerer.Queue(AnswerProgress(seen, 5000));
    EXPECT_EQ(ShowProgressDialog(output), IDCANCEL);
    EXPECT_EQ(seen->finalStatus, L"无法启动剪切程序 mp3splt.exe");
    EXPECT_FALSE(seen->animationVisible);
    EXPECT_FALSE(FileExists(output));
    RemoveFolderTree(folder);
    // Tells the calling test that this test really ran (and passed) here.
    if (!HasFailure()) WriteAllBytes(ProgramFolder() + L"\\" + childPassedMarker, "passed");
}

TEST(CutProgressDialog, WithoutTheSplitterSaysSoInsteadOfDone) {
    // A copy of this test program in a folder of its own has no mp3splt.exe beside it.
    std::wstring folder = MakeTempFolder(L"cut-lonely");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring copy = folder + L"\\cut_alone.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
    ASSERT_FALSE(FileExists(folder + L"\\mp3splt.exe"));

    std::wstring commandLine =
        L"\"" + copy + L"\" --gtest_also_run_disabled_tests --gtest_filter=CutProgressDialogWithoutSplitter.*";
    HANDLE child = StartChildProgram(commandLine);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(WaitForSingleObject(child, 120000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(child, &exitCode);
    CloseHandle(child);
    EXPECT_EQ(exitCode, 0u) << "the copied program's test failed";
    EXPECT_TRUE(FileExists(folder + L"\\" + childPassedMarker)) << "the copied program's test did not run";
    RemoveFolderTree(folder);
}

}  // namespace
