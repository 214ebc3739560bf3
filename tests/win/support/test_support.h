// Helpers for the in-process Windows tests: answering modal UI as a person would, pumping
// messages while timers run, and the paths of fixtures and the program folder.
#pragma once

#include <windows.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/fixtures/fixture_path.h"

// What a modal window showed when the answerer found it.
struct ShownDialog {
    std::wstring caption;
    std::wstring text;   // the texts of its static controls, joined with '\n' (a message box's text)
    UINT iconStyle = 0;  // for message boxes: MB_ICONERROR or MB_ICONQUESTION, else 0
};

// Watches, from its own thread, for enabled dialogs (class "#32770") of the thread that created
// it, records each new one and answers it with the next queued reply (or, with none queued, with
// the default reply: press IDCANCEL, else IDOK). Modal UI shown by code under test is thereby
// answered while the test thread sits in the dialog's own message loop.
class DialogAnswerer {
public:
    using Reply = std::function<void(HWND dialog)>;

    DialogAnswerer();
    ~DialogAnswerer();

    void Queue(Reply reply);
    std::vector<ShownDialog> Shown();
    void Clear();

    static Reply PressButton(int id);
    // Types a path into a file dialog's name box and presses its OK button.
    static Reply ChooseFile(const std::wstring& path);
    // Leaves the dialog alone for `ms` milliseconds, then applies `then`.
    static Reply After(DWORD ms, Reply then);

private:
    void Watch();
    DWORD ownerThread_;
    std::thread watcher_;
    std::mutex mutex_;
    std::vector<Reply> replies_;
    std::vector<ShownDialog> shown_;
    std::vector<HWND> seen_;
    volatile bool stop_ = false;
};

// MB_ICONERROR or MB_ICONQUESTION by the icon a message box shows, else 0.
UINT MessageBoxIcon(HWND box);

// Dispatches messages of this thread for `ms` milliseconds (timers, posted messages).
void PumpMessages(DWORD ms);
// Pumps messages until `done` returns true or `timeoutMs` passes; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The folder of the running test program.
std::wstring ProgramFolder();
// A fresh, empty folder under the system's temporary folder.
std::wstring MakeTempFolder(const wchar_t* prefix);
// Window text as a std::wstring.
std::wstring WindowText(HWND window);
bool FileExists(const std::wstring& path);

// The import address table entry through which `module` calls `function` (by name, from any
// library it imports), or null; and a write to such an entry. Tests use them to watch or refuse
// one call of the code under test.
void** ImportSlot(HMODULE module, const char* function);
void WriteImportSlot(void** slot, void* value);
