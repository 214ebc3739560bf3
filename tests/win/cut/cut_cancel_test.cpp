// Cancelling a cut closes the dialog at once and leaves the splitter to finish on its own.
#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"
#include "resource.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

constexpr DWORD catchTimeoutMs = 20000;
constexpr DWORD splitterEndTimeoutMs = 60000;

// The splitter cuts a short stretch in a fraction of a second, faster than a person can press
// 取消. To cancel a cut that is certainly still running, this holds the real splitter still: it
// attaches as a debugger to the first new mp3splt.exe the moment it appears (a debuggee stands
// still until its debug events are answered) and lets go on Release.
class SplitterHolder {
public:
    SplitterHolder() : before_(ProcessIdsOf(L"mp3splt.exe")) {
        worker_ = std::thread([this] { Hold(); });
    }
    ~SplitterHolder() {
        Release();
        worker_.join();
        if (process_) CloseHandle(process_);
    }
    bool WaitCaught(DWORD timeoutMs) {
        DWORD start = GetTickCount();
        while (!caught_ && !gaveUp_ && GetTickCount() - start < timeoutMs) Sleep(10);
        return caught_;
    }
    HANDLE Process() const { return process_; }
    void Release() { release_ = true; }

private:
    // Attaching, answering and detaching must all happen on one thread.
    void Hold() {
        // The splitter's whole run is Wine's process start-up and a few milliseconds of work:
        // on a busy machine an ordinary thread can miss it.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        DWORD id = 0;
        DWORD start = GetTickCount();
        while (!release_ && !id && GetTickCount() - start < catchTimeoutMs) {
            for (DWORD candidate : ProcessIdsOf(L"mp3splt.exe"))
                if (std::find(before_.begin(), before_.end(), candidate) == before_.end()) id = candidate;
            if (!id) Sleep(1);
        }
        if (!id || !(process_ = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id))) {
            gaveUp_ = true;
            return;
        }
        // Wine refuses an attach until the new process has finished starting (its loader's
        // work), and the splitter's own work after that lasts milliseconds: try again at once
        // until the attach takes or the splitter is gone.
        while (!DebugActiveProcess(id)) {
            if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
                gaveUp_ = true;
                return;
            }
            SwitchToThread();
        }
        DebugSetProcessKillOnExit(FALSE);
        caught_ = true;
        while (!release_) Sleep(10);
        // Answer what the attach produced, then detach; the splitter runs on by itself.
        DEBUG_EVENT event;
        while (WaitForDebugEvent(&event, 100)) ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        DebugActiveProcessStop(id);
    }

    std::vector<DWORD> before_;
    HANDLE process_ = nullptr;
    std::atomic<bool> caught_{false};
    std::atomic<bool> gaveUp_{false};
    std::atomic<bool> release_{false};
    std::thread worker_;
};

TEST(CutCancel, ClosesTheDialogWhileTheSplitterRunsOn) {
    std::wstring folder = MakeTempFolder(L"cut-cancel");
    std::wstring loaded;
    ASSERT_TRUE(LoadCopyOfFixture(L"cbr128.mp3", folder, L"input.mp3", loaded));
    theApp.pointA = 1000;
    theApp.pointB = 7000;
    std::wstring output = folder + L"\\after-cancel.mp3";

    SplitterHolder holder;
    DialogAnswerer answerer;
    std::wstring statusAtCancel;
    bool caughtBeforeCancel = false;
    auto mode = std::make_shared<ModeSeen>();
    answerer.Queue(DialogAnswerer::ChooseFile(output));
    answerer.Queue(AnswerMode(mode, false));
    answerer.Queue([&](HWND dialog) {
        caughtBeforeCancel = holder.WaitCaught(catchTimeoutMs);
        Sleep(500);  // a few polling ticks pass while the splitter runs
        statusAtCancel = WindowText(GetDlgItem(dialog, IDC_CUT_STATUS));
        DialogAnswerer::PressButton(IDCANCEL)(dialog);
    });
    theApp.CutAbPart();

    ASSERT_TRUE(caughtBeforeCancel) << "the splitter was not held before it finished";
    ASSERT_NE(holder.Process(), nullptr);
    EXPECT_EQ(statusAtCancel, L"正在剪切中…");
    DWORD codeAfterClose = 0;
    GetExitCodeProcess(holder.Process(), &codeAfterClose);
    EXPECT_EQ(codeAfterClose, DWORD(STILL_ACTIVE)) << "cancelling ended the splitter";
    EXPECT_EQ(theApp.playState, Paused);

    // Let go, it finishes the file on its own after the dialog is gone.
    holder.Release();
    ASSERT_EQ(WaitForSingleObject(holder.Process(), splitterEndTimeoutMs), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(holder.Process(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    Mp3Facts facts = ReadMp3Facts(output);
    ASSERT_TRUE(facts.ok) << "the splitter left no MP3 file";
    EXPECT_LE(std::abs(double(facts.durationMs) - 6000), facts.frameMs + 1.0);
    theApp.CloseFile();
    RemoveFolderTree(folder);
}

}  // namespace
