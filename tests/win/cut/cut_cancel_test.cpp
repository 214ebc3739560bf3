// Cancelling a cut closes the dialog at once and leaves the splitter to finish on its own.
#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"
#include "playback/playback_graph.h"
#include "resource.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

constexpr DWORD splitterEndTimeoutMs = 300000;

TEST(CutCancel, ClosesTheDialogWhileTheSplitterRunsOn) {
    std::wstring folder = MakeTempFolder(L"cut-cancel");
    std::wstring loaded;
    ASSERT_TRUE(LoadCopyOfFixture(L"long.mp3", folder, L"long.mp3", loaded));
    theApp.pointA = 0;
    theApp.pointB = theApp.graph->GetStopMs() - 1000;
    std::wstring output = folder + L"\\whole.mp3";
    std::vector<DWORD> splittersBefore = ProcessIdsOf(L"mp3splt.exe");

    DialogAnswerer answerer;
    std::wstring statusAtCancel;
    HANDLE splitter = nullptr;
    auto mode = std::make_shared<ModeSeen>();
    answerer.Queue(DialogAnswerer::ChooseFile(output));
    answerer.Queue(AnswerMode(mode, false));
    answerer.Queue([&](HWND dialog) {
        Sleep(300);
        statusAtCancel = WindowText(GetDlgItem(dialog, IDC_CUT_STATUS));
        for (DWORD id : ProcessIdsOf(L"mp3splt.exe"))
            if (std::find(splittersBefore.begin(), splittersBefore.end(), id) == splittersBefore.end() && !splitter)
                splitter = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id);
        DialogAnswerer::PressButton(IDCANCEL)(dialog);
    });
    theApp.CutAbPart();

    DWORD codeAfterClose = 0;
    ASSERT_NE(splitter, nullptr) << "no splitter process was running";
    GetExitCodeProcess(splitter, &codeAfterClose);
    EXPECT_EQ(statusAtCancel, L"正在剪切中…");
    EXPECT_EQ(codeAfterClose, DWORD(STILL_ACTIVE)) << "the splitter ended before the dialog closed";

    // Left alone, it finishes the file (a terminated splitter would leave none, or a failure code).
    ASSERT_EQ(WaitForSingleObject(splitter, splitterEndTimeoutMs), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(splitter, &exitCode);
    CloseHandle(splitter);
    EXPECT_EQ(exitCode, 0u);
    Mp3Facts facts = ReadMp3Facts(output);
    EXPECT_TRUE(facts.ok);
    EXPECT_GT(facts.durationMs, theApp.pointB - 1000);
    theApp.CloseFile();
}

}  // namespace
