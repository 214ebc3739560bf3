// Cancelling a cut closes the dialog at once and leaves the splitter to finish on its own.
#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"
#include "resource.h"

#include <tlhelp32.h>
#include <algorithm>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

constexpr DWORD catchTimeoutMs = 20000;
constexpr DWORD splitterEndTimeoutMs = 60000;

// The splitter cuts a short stretch in a fraction of a second, faster than a person can press
// 取消. To cancel a cut that is certainly still running, this holds the real splitter still:
// it suspends the threads of the first new mp3splt.exe the moment it appears, until Resume.
class SplitterHolder {
public:
    SplitterHolder() : before_(ProcessIdsOf(L"mp3splt.exe")) {
        watcher_ = std::thread([this] { Watch(); });
    }
    ~SplitterHolder() {
        stop_ = true;
        watcher_.join();
        Resume();
        if (process_) CloseHandle(process_);
    }
    bool WaitCaught(DWORD timeoutMs) {
        DWORD start = GetTickCount();
        while (!caught_ && GetTickCount() - start < timeoutMs) Sleep(10);
        return caught_;
    }
    HANDLE Process() const { return process_; }
    void Resume() {
        for (HANDLE thread : threads_) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
        threads_.clear();
    }

private:
    void Watch() {
        while (!stop_ && !caught_) {
            for (DWORD id : ProcessIdsOf(L"mp3splt.exe")) {
                if (std::find(before_.begin(), before_.end(), id) != before_.end()) continue;
                process_ = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id);
                SuspendThreadsOf(id);
                caught_ = true;
                break;
            }
            Sleep(1);
        }
    }
    void SuspendThreadsOf(DWORD processId) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID != processId) continue;
            HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
            if (!thread) continue;
            SuspendThread(thread);
            threads_.push_back(thread);
        }
        CloseHandle(snapshot);
    }

    std::vector<DWORD> before_;
    std::vector<HANDLE> threads_;
    HANDLE process_ = nullptr;
    std::atomic<bool> caught_{false};
    std::atomic<bool> stop_{false};
    std::thread watcher_;
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

    ASSERT_TRUE(caughtBeforeCancel) << "no splitter process appeared";
    ASSERT_NE(holder.Process(), nullptr);
    EXPECT_EQ(statusAtCancel, L"正在剪切中…");
    DWORD codeAfterClose = 0;
    GetExitCodeProcess(holder.Process(), &codeAfterClose);
    EXPECT_EQ(codeAfterClose, DWORD(STILL_ACTIVE)) << "cancelling ended the splitter";
    EXPECT_EQ(theApp.playState, Paused);

    // Let go, it finishes the file on its own after the dialog is gone.
    holder.Resume();
    ASSERT_EQ(WaitForSingleObject(holder.Process(), splitterEndTimeoutMs), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(holder.Process(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    Mp3Facts facts = ReadMp3Facts(output);
    ASSERT_TRUE(facts.ok) << "the splitter left no MP3 file";
    EXPECT_LE(std::abs(double(facts.durationMs) - 6000), facts.frameMs + 1.0);
    theApp.CloseFile();
}

}  // namespace
