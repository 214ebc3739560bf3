// The update check and the usage ping against a real HTTP server on 127.0.0.1, the new-version
// dialog as the program shows it, and how the program ends while the requests hang.
#include "online/online.h"
#include "app/app_state.h"
#include "resource.h"
#include "settings/data_folder.h"
#include "tests/win/online/loopback_server.h"
#include "tests/win/support/test_support.h"

#include <commctrl.h>
#include <ole2.h>
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {

constexpr DWORD networkTimeoutMs = 20000;

void PointAtLoopback(unsigned short port) {
    // The requests must reach the loopback server directly, whatever proxy the machine sets.
    SetEnvironmentVariableW(L"http_proxy", nullptr);
    vendorServer = {L"127.0.0.1", port};
}

std::string RequestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

bool HasHeader(const std::string& head, const std::string& line) {
    return head.find("\r\n" + line + "\r\n") != std::string::npos;
}

}  // namespace

TEST(Workers, OnlyAMarkerAtTheVeryStartOfTheReplyPostsAMessage) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    theApp.mainWindow = window;
    struct Case {
        const char* body;  // null: nothing listens on the port
        UINT expected;
        const char* status = "200 OK";
    } cases[] = {
        {"_tell1.0\r\n", newVersionMessage},
        {"_must", versionDeprecatedMessage},
        {"_tell_must", newVersionMessage},
        {"_must_tell", versionDeprecatedMessage},
        {" _tell", 0},
        {"x_must", 0},
        {"_TELL", 0},
        {"_Must", 0},
        {"", 0},
        {"<html><body>Not Found</body></html>", 0, "404 Not Found"},
        {nullptr, 0},
    };
    for (const Case& c : cases) {
        auto server = std::make_unique<LoopbackServer>(HttpResponse(c.status, c.body ? c.body : ""));
        PointAtLoopback(server->Port());
        if (!c.body) server.reset();  // a refused connection
        CheckForUpdate(nullptr);
        MSG posted = {};
        PeekMessageW(&posted, window, versionDeprecatedMessage, newVersionMessage, PM_REMOVE);
        EXPECT_EQ(c.expected, posted.message) << (c.body ? c.body : "(refused)");
    }
    std::string longReply = "_must" + std::string(195, 'x');
    LoopbackServer server(HttpResponse("200 OK", longReply));
    PointAtLoopback(server.Port());
    CheckForUpdate(nullptr);
    MSG posted = {};
    EXPECT_TRUE(PeekMessageW(&posted, window, versionDeprecatedMessage, versionDeprecatedMessage, PM_REMOVE))
        << "200-byte reply";
    DestroyWindow(window);
    theApp.mainWindow = nullptr;
}

TEST(Workers, BothRequestsCarryTheFixedRequestLineAndHeaders) {
    LoopbackServer server(HttpResponse("200 OK", "nothing new"));
    PointAtLoopback(server.Port());
    CheckForUpdate(nullptr);
    SendUsagePing(nullptr);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);
    std::string os = std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion);
    std::vector<std::string> heads = server.Requests();
    ASSERT_EQ(2u, heads.size());
    EXPECT_EQ("GET /tolk/ver.php?ver=2.1.5&trial=0 HTTP/1.1", RequestLine(heads[0]));
    EXPECT_EQ("GET /tolk/usageLog.php?ver=2.1.5&os=" + os + " HTTP/1.1", RequestLine(heads[1]));
    for (const std::string& head : heads) {
        EXPECT_TRUE(HasHeader(head, "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)")) << head;
        EXPECT_TRUE(HasHeader(head, "UA-CPU: x86")) << head;
        EXPECT_TRUE(HasHeader(head, "Accept: */*")) << head;
        EXPECT_TRUE(HasHeader(head, "Host: 127.0.0.1:" + std::to_string(server.Port()))) << head;
    }
}

namespace {

// What the new-version dialog held when the answerer found it.
struct DialogSeen {
    std::wstring text;
    HWND owner = nullptr;
    std::atomic<bool> read{false};
};

DialogAnswerer::Reply ReadAndPress(std::shared_ptr<DialogSeen> seen, int button) {
    return [seen, button](HWND dialog) {
        seen->text = WindowText(GetDlgItem(dialog, IDC_NEW_VERSION_TEXT));
        seen->owner = GetWindow(dialog, GW_OWNER);
        seen->read = true;
        DialogAnswerer::PressButton(button)(dialog);
    };
}

// While it lives, the browser is a command that writes the address it is given to a file.
// Wine keeps protocol handlers machine-wide only; the prefix is the build's own.
class RecordingBrowser {
public:
    RecordingBrowser() : record_(MakeTempFolder(L"clipvane-browser") + L"\\address.txt") {
        DWORD size = sizeof(original_);
        RegGetValueW(HKEY_LOCAL_MACHINE, handlerKey, nullptr, RRF_RT_REG_SZ, nullptr, original_, &size);
        SetHandler(L"C:\\windows\\system32\\cmd.exe /c echo %1>\"" + record_ + L"\"");
    }
    ~RecordingBrowser() { SetHandler(original_); }
    // The address the browser was given, once the command has written its whole line.
    std::string Opened(DWORD timeoutMs) {
        std::string text;
        PumpUntil([&] { return (text = ReadRecord()).find('\n') != std::string::npos; }, timeoutMs);
        return text.substr(0, text.find_first_of("\r\n "));
    }

private:
    std::string ReadRecord() const {
        char text[512] = {};
        if (FILE* file = _wfopen(record_.c_str(), L"rb")) {
            fread(text, 1, sizeof(text) - 1, file);
            fclose(file);
        }
        return text;
    }
    static void SetHandler(const std::wstring& command) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, handlerKey, nullptr, REG_SZ, command.c_str(),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    static constexpr wchar_t handlerKey[] = L"Software\\Classes\\http\\shell\\open\\command";
    std::wstring record_;
    wchar_t original_[MAX_PATH] = {};
};

// The whole program started in process against the test's server.
class ProgramOnlineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetEnvironmentVariableW(L"USERPROFILE", MakeTempFolder(L"clipvane-online").c_str());
    }
    void Start(const LoopbackServer& server) {
        PointAtLoopback(server.Port());
        OleInitialize(nullptr);
        InitCommonControls();
        started_ = true;
        ASSERT_TRUE(theApp.Init(GetModuleHandleW(nullptr)));
    }
    void Stop() {
        if (IsWindow(theApp.mainWindow)) theApp.Exit();
        PumpMessages(50);
        if (started_) OleUninitialize();
        started_ = false;
    }
    void TearDown() override { Stop(); }
    bool started_ = false;
};

// Dispatches this thread's messages until the program's loop would end (WM_QUIT).
bool PumpUntilQuit(DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return true;
            DispatchMessageW(&message);
        }
    }
    return false;
}

}  // namespace

TEST_F(ProgramOnlineTest, ANewVersionIsAnnouncedAndTheProgramCarriesOn) {
    LoopbackServer server(HttpResponse("200 OK", "_tell1.0\r\n"));
    DialogAnswerer answerer;
    auto seen = std::make_shared<DialogSeen>();
    answerer.Queue(ReadAndPress(seen, IDCANCEL));
    Start(server);
    ASSERT_TRUE(PumpUntil([&] { return seen->read.load(); }, networkTimeoutMs));
    PumpMessages(300);
    std::vector<ShownDialog> shown = answerer.Shown();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"Clipvane - 新版发布", shown[0].caption);
    EXPECT_NE(std::wstring::npos, shown[0].text.find(L"新版发布")) << shown[0].text;
    EXPECT_EQ(L"已发布新版本", seen->text);
    EXPECT_EQ(theApp.mainWindow, seen->owner);
    EXPECT_TRUE(IsWindow(theApp.mainWindow));
}

TEST_F(ProgramOnlineTest, AnObsoleteVersionEndsTheProgramAfterEitherButton) {
    wchar_t roaming[pathUnits] = {};
    std::wstring settings = std::wstring(GetRoamingFolder(theApp.osMajorVersion, roaming)) + L"\\Clipvane\\options.ini";
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        RecordingBrowser browser;
        LoopbackServer server(HttpResponse("200 OK", "_must"), true);
        DialogAnswerer answerer;
        auto seen = std::make_shared<DialogSeen>();
        answerer.Queue(ReadAndPress(seen, button));
        Start(server);
        DeleteFileW(settings.c_str());
        // A file is playing when the answer comes: the program must still end cleanly.
        theApp.OpenFile(FixturePath(L"cbr128.mp3").c_str());
        ASSERT_TRUE(theApp.loaded);
        server.Release();
        ASSERT_TRUE(PumpUntilQuit(networkTimeoutMs));
        EXPECT_FALSE(IsWindow(theApp.mainWindow));
        EXPECT_EQ(L"此版本已被废弃", seen->text);
        EXPECT_TRUE(FileExists(settings));
        EXPECT_FALSE(theApp.loaded);
        std::string download = "http://127.0.0.1:" + std::to_string(server.Port()) + "/tolk/download.htm";
        EXPECT_EQ(button == IDOK ? download : "", browser.Opened(button == IDOK ? networkTimeoutMs : 1000));
        Stop();
    }
}

// The answer arrives while the repair dialog of an opening is up, and the repair makes the file
// playable: the program ends inside the dialog, and the opening must build nothing after it.
TEST_F(ProgramOnlineTest, AnObsoleteVersionDuringAnOpeningsRepairLeavesNothingBuilt) {
    LoopbackServer server(HttpResponse("200 OK", "nothing new"));
    Start(server);
    std::wstring fixture = FixturePath(L"cbr128.mp3"), file = MakeTempFolder(L"clipvane-repair") + L"\\a.mp3";
    FILE* text = _wfopen(file.c_str(), L"wb");
    fputs("no frames in here", text);
    fclose(text);
    DialogAnswerer answerer;
    answerer.Queue([&](HWND) {
        PostMessageW(theApp.mainWindow, versionDeprecatedMessage, 0, 0);
        for (int tries = 0; tries < 100 && !CopyFileW(fixture.c_str(), file.c_str(), FALSE); ++tries) Sleep(20);
    });
    theApp.OpenFile(file.c_str());
    EXPECT_FALSE(IsWindow(theApp.mainWindow));
    EXPECT_FALSE(theApp.loaded);
    EXPECT_FALSE(theApp.graph);
    EXPECT_EQ(2u, answerer.Shown().size()) << "the repair dialog and the notice";
    if (theApp.loaded) theApp.CloseFile();
}

// The real program in a process of its own, built with its server on the test's loopback port.
TEST(ProgramProcess, ClosingTheWindowEndsTheProcessWhileBothRequestsHang) {
    constexpr DWORD startTimeoutMs = 120000;  // a new prefix builds its GStreamer registry first
    constexpr DWORD promptEndMs = 10000;      // far below any network time-out of the platform
    LoopbackServer server(HttpResponse("200 OK", "_must"), true);
    SetEnvironmentVariableW(L"CLIPVANE_TEST_SERVER_PORT", std::to_wstring(server.Port()).c_str());
    SetEnvironmentVariableW(L"USERPROFILE", MakeTempFolder(L"clipvane-process").c_str());
    SetEnvironmentVariableW(L"http_proxy", nullptr);
    std::wstring program = ProgramFolder() + L"\\loopback_program.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(
        CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));

    // The embedded page asks the same server for its page too; only the two workers' requests count.
    auto workerRequests = [&server] {
        size_t count = 0;
        for (const std::string& request : server.Requests())
            if (request.rfind("GET /tolk/ver.php", 0) == 0 || request.rfind("GET /tolk/usageLog.php", 0) == 0) ++count;
        return count;
    };
    for (DWORD start = GetTickCount(); workerRequests() < 2 && GetTickCount() - start < startTimeoutMs;)
        server.WaitForRequests(server.Requests().size() + 1, 100);
    EXPECT_EQ(2u, workerRequests());
    HWND window = FindWindowW(mainWindowClass, nullptr);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(child.dwProcessId, owner);
    DWORD closedAt = GetTickCount();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(child.hProcess, promptEndMs));
    printf("process ended %lu ms after WM_CLOSE with both requests unanswered\n", GetTickCount() - closedAt);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(child.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(2u, workerRequests());
    if (exitCode == STILL_ACTIVE) TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}
