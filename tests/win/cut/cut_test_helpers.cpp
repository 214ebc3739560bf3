#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"
#include "mp3/mp3.h"
#include "resource.h"

#include <commctrl.h>
#include <tlhelp32.h>
#include <cstdio>

namespace {

constexpr DWORD statusPollMs = 50;

std::wstring DialogItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

}  // namespace

DialogAnswerer::Reply RecordIcon(std::shared_ptr<UINT> icon, DialogAnswerer::Reply then) {
    return [icon, then](HWND dialog) {
        *icon = MessageBoxIcon(dialog);
        then(dialog);
    };
}

void EnsureMainWindow() {
    if (theApp.mainWindow) return;
    theApp.hInstance = GetModuleHandleW(nullptr);
    theApp.LoadStrings();
    theApp.eachJump = 3;
    theApp.fineTuning = 200;
    theApp.volume = -500;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = theApp.hInstance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = mainWindowClass;
    RegisterClassExW(&windowClass);
    theApp.mainWindow = CreateWindowExW(0, mainWindowClass, CachedString(IDS_CAPTION), WS_OVERLAPPEDWINDOW, 0, 0, 720,
                                        420, nullptr, nullptr, theApp.hInstance, nullptr);
    theApp.CreateStatusBar();
    ShowWindow(theApp.mainWindow, SW_SHOW);
}

bool LoadCopyOfFixture(const wchar_t* fixture, const std::wstring& folder, const wchar_t* name, std::wstring& loaded) {
    loaded = folder + L"\\" + name;
    if (!CopyFileW(FixturePath(fixture).c_str(), loaded.c_str(), FALSE)) return false;
    theApp.OpenFile(loaded.c_str());
    return theApp.loaded && _wcsicmp(theApp.currentFile, loaded.c_str()) == 0;
}

void EnsurePlaying() {
    if (theApp.playState != Playing) theApp.TogglePlay();
}

DialogAnswerer::Reply AnswerMode(std::shared_ptr<ModeSeen> seen, bool chooseBitrate) {
    return [seen, chooseBitrate](HWND dialog) {
        seen->appeared = true;
        seen->frameCheckedAtOpen = IsDlgButtonChecked(dialog, IDC_MODE_FRAME) == BST_CHECKED;
        if (chooseBitrate) SendMessageW(GetDlgItem(dialog, IDC_MODE_BITRATE), BM_CLICK, 0, 0);
        DialogAnswerer::PressButton(IDOK)(dialog);
    };
}

DialogAnswerer::Reply AnswerProgress(std::shared_ptr<ProgressSeen> seen, DWORD timeoutMs) {
    return [seen, timeoutMs](HWND dialog) {
        seen->appeared = true;
        seen->outputPath = DialogItemText(dialog, IDC_CUT_OUTPUT_PATH);
        const std::wstring running = L"正在剪切中…";
        DWORD start = GetTickCount();
        while (IsWindow(dialog) && DialogItemText(dialog, IDC_CUT_STATUS) == running &&
               GetTickCount() - start < timeoutMs)
            Sleep(statusPollMs);
        seen->finalStatus = DialogItemText(dialog, IDC_CUT_STATUS);
        seen->animationVisible = IsWindowVisible(GetDlgItem(dialog, IDC_CUT_ANIMATION)) != FALSE;
        DialogAnswerer::PressButton(IDCANCEL)(dialog);
    };
}

void RunCut(DialogAnswerer& answerer, const std::vector<DialogAnswerer::Reply>& replies) {
    answerer.Clear();
    for (const auto& reply : replies) answerer.Queue(reply);
    theApp.CutAbPart();
    // A message box or dialog that was never shown must not be answered by the next test.
    PumpMessages(100);
}

Mp3Facts ReadMp3Facts(const std::wstring& path) {
    Mp3Facts facts;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return facts;
    mp3::FileSource source(file);
    mp3::IndexResult result = mp3::BuildFrameIndex(source);
    fclose(file);
    if (!result.ok() || result.index.SampleRate() == 0) return facts;
    facts.ok = true;
    facts.frames = result.index.FrameCount();
    const mp3::StreamLayout& layout = result.index.Layout();
    int64_t samples = result.index.TotalSamples();
    if (layout.info && layout.info->lame)
        samples -= layout.info->lame->encoderDelay + layout.info->lame->encoderPadding;
    facts.durationMs = mp3::SamplesToMs(samples, result.index.SampleRate());
    facts.frameMs = 1000.0 * result.index.SamplesPerFrame() / result.index.SampleRate();
    return facts;
}

std::string ReadAllBytes(const std::wstring& path) {
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return bytes;
    char buffer[65536];
    size_t count;
    while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, count);
    fclose(file);
    return bytes;
}

bool WriteAllBytes(const std::wstring& path, const std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

std::vector<DWORD> ProcessIdsOf(const wchar_t* exeName) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exeName) == 0) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

std::wstring Text(UINT id) { return CachedString(id); }

HANDLE StartChildProgram(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void RemoveFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolderTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}
