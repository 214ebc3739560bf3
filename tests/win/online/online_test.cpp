// The update check and the usage ping against a real HTTP server on 127.0.0.1, the new-version
// dialog as the program shows it, and how the program ends while a request hangs.
#include "online/online.h"
#include "app/app_state.h"
#include "resource.h"
#include "settings/data_folder.h"
#include "tests/win/online/loopback_server.h"
#include "tests/win/support/test_support.h"

#include <commctrl.h>
#include <ole2.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr DWORD networkTimeoutMs = 20000;
constexpr char userAgentHeader[] = "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";

void PointAtLoopback(unsigned short port) {
    vendorServer = {L"127.0.0.1", port};
}

// The message the update check posted to `window`, or 0.
UINT TakeUpdateMessage(HWND window) {
    MSG message;
    if (PeekMessageW(&message, window, versionDeprecatedMessage, newVersionMessage, PM_REMOVE)) return message.message;
    return 0;
}

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The requests must reach the loopback server directly, whatever proxy the machine sets.
        SetEnvironmentVariableW(L"http_proxy", nullptr);
        window_ = CreateWindowExW(0, L"STATIC", L"main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window_);
        theApp.mainWindow = window_;
    }
    void TearDown() override {
        DestroyWindow(window_);
        theApp.mainWindow = nullptr;
    }
    // Runs the update check once against a server answering `response`.
    UINT CheckWith(const std::string& response) {
        LoopbackServer server(response);
        PointAtLoopback(server.Port());
        CheckForUpdate(nullptr);
        return TakeUpdateMessage(window_);
    }
    HWND window_ = nullptr;
};

}  // namespace

TEST_F(WorkerTest, OnlyAMarkerAtTheVeryStartOfTheReplyPostsAMessage) {
    struct Case {
        const char* name;
        std::string response;
        UINT expected;
    } cases[] = {
        {"new version", HttpResponse("200 OK", "_tell1.0\r\n"), newVersionMessage},
        {"obsolete", HttpResponse("200 OK", "_must"), versionDeprecatedMessage},
        {"_tell is tested first", HttpResponse("200 OK", "_tell_must"), newVersionMessage},
        {"_tell later on", HttpResponse("200 OK", "_must_tell"), versionDeprecatedMessage},
        {"leading blank", HttpResponse("200 OK", " _tell"), 0},
        {"other character first", HttpResponse("200 OK", "x_must"), 0},
        {"capitals", HttpResponse("200 OK", "_TELL"), 0},
        {"capitals obsolete", HttpResponse("200 OK", "_Must"), 0},
        {"empty body", HttpResponse("200 OK", ""), 0},
        {"404 page", HttpResponse("404 Not Found", "<html><body>Not Found</body></html>"), 0},
        {"200-byte reply", HttpResponse("200 OK", "_must" + std::string(195, 'x')), versionDeprecatedMessage},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, CheckWith(c.response)) << c.name;
}

TEST_F(WorkerTest, BothRequestsCarryTheFixedRequestLineAndHeaders) {
    LoopbackServer server(HttpResponse("200 OK", "nothing new"));
    PointAtLoopback(server.Port());
    CheckForUpdate(nullptr);
    SendUsagePing(nullptr);
    ASSERT_TRUE(server.WaitForRequests(2, networkTimeoutMs));

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);
    std::string os = std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion);
    std::string requestLines[] = {"GET /tolk/ver.php?ver=2.1.5&trial=0 HTTP/1.1",
                                  "GET /tolk/usageLog.php?ver=2.1.5&os=" + os + " HTTP/1.1"};
    std::vector<std::string> heads = server.Requests();
    ASSERT_EQ(2u, heads.size());
    for (size_t i = 0; i < 2; ++i) {
        const std::string& head = heads[i];
        EXPECT_EQ(requestLines[i], head.substr(0, head.find("\r\n"))) << head;
        EXPECT_TRUE(HasHeader(head, userAgentHeader)) << head;
        EXPECT_TRUE(HasHeader(head, "UA-CPU: x86")) << head;
        EXPECT_TRUE(HasHeader(head, "Accept: */*")) << head;
        EXPECT_TRUE(HasHeader(head, "Host: 127.0.0.1:" + std::to_string(server.Port()))) << head;
    }
}

TEST_F(WorkerTest, ARefusedConnectionEndsBothWorkersQuietly) {
    PointAtLoopback(LoopbackServer::ClosedPort());
    EXPECT_EQ(0u, CheckForUpdate(nullptr));
    EXPECT_EQ(0u, SendUsagePing(nullptr));
    EXPECT_EQ(0u, TakeUpdateMessage(window_));
}

TEST_F(WorkerTest, AServerThatNeverAnswersKeepsTheWorkerWaitingButPostsNothing) {
    HANDLE worker = nullptr;
    {
        LoopbackServer server(HttpResponse("200 OK", "_must"), true);
        PointAtLoopback(server.Port());
        worker = CreateThread(nullptr, 0, CheckForUpdate, nullptr, 0, nullptr);
        ASSERT_TRUE(server.WaitForRequests(1, networkTimeoutMs));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(worker, 500));
    }  // the server hangs up without an answer
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(worker, networkTimeoutMs));
    CloseHandle(worker);
    EXPECT_EQ(0u, TakeUpdateMessage(window_));
}

namespace {

// What the new-version dialog held when the answerer found it.
struct DialogSeen {
    std::wstring text;
    HWND owner = nullptr;
};

DialogAnswerer::Reply ReadAndPress(std::shared_ptr<DialogSeen> seen, int button) {
    return [seen, button](HWND dialog) {
        seen->text = WindowText(GetDlgItem(dialog, IDC_NEW_VERSION_TEXT));
        seen->owner = GetWindow(dialog, GW_OWNER);
        DialogAnswerer::PressButton(button)(dialog);
    };
}

// Dispatches this thread's messages until the program's loop would end (WM_QUIT).
bool PumpUntilQuit(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return true;
            DispatchMessageW(&message);
        }
    }
    return false;
}

std::wstring SettingsFile() {
    wchar_t roaming[pathUnits] = {};
    GetRoamingFolder(theApp.osMajorVersion, roaming);
    return std::wstring(roaming) + L"\\Clipvane\\options.ini";
}

// The whole program started in process against the test's server.
class ProgramOnlineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetEnvironmentVariableW(L"http_proxy", nullptr);
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

}  // namespace

TEST_F(ProgramOnlineTest, ANewVersionIsAnnouncedAndTheProgramCarriesOn) {
    LoopbackServer server(HttpResponse("200 OK", "_tell1.0\r\n"));
    DialogAnswerer answerer;
    auto seen = std::make_shared<DialogSeen>();
    answerer.Queue(ReadAndPress(seen, IDCANCEL));
    Start(server);
    ASSERT_TRUE(PumpUntil([&] { return !answerer.Shown().empty(); }, networkTimeoutMs));
    PumpMessages(300);

    std::vector<ShownDialog> shown = answerer.Shown();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"Clipvane - 新版发布", shown[0].caption);
    EXPECT_EQ(L"新版发布", shown[0].text);
    EXPECT_EQ(L"已发布新版本", seen->text);
    EXPECT_EQ(theApp.mainWindow, seen->owner);
    EXPECT_TRUE(IsWindow(theApp.mainWindow));
}

TEST_F(ProgramOnlineTest, AnObsoleteVersionEndsTheProgramAfterEitherButton) {
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        LoopbackServer server(HttpResponse("200 OK", "_must"), true);
        DialogAnswerer answerer;
        auto seen = std::make_shared<DialogSeen>();
        answerer.Queue(ReadAndPress(seen, button));
        Start(server);
        DeleteFileW(SettingsFile().c_str());
        // A file is playing when the answer comes: the program must still end cleanly.
        theApp.OpenFile(FixturePath(L"cbr128.mp3").c_str());
        ASSERT_TRUE(theApp.loaded);
        server.Release();

        HWND window = theApp.mainWindow;
        ASSERT_TRUE(PumpUntilQuit(networkTimeoutMs));
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(L"此版本已被废弃", seen->text);
        EXPECT_TRUE(FileExists(SettingsFile()));
        EXPECT_FALSE(theApp.loaded);
        Stop();
    }
}

namespace {

struct ProcessWindow {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ProcessWindow*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (owner != search->process || wcscmp(className, mainWindowClass) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

// The real program in a process of its own: the workers must not keep it alive.
TEST(ProgramProcess, ClosingTheWindowEndsTheProcessWhileBothRequestsHang) {
    constexpr DWORD startTimeoutMs = 120000;  // a new prefix builds its GStreamer registry first
    constexpr DWORD promptEndMs = 10000;      // far below any network time-out of the platform
    LoopbackServer server(HttpResponse("200 OK", "_must"), true);
    SetEnvironmentVariableW(L"CLIPVANE_TEST_SERVER_PORT", std::to_wstring(server.Port()).c_str());
    SetEnvironmentVariableW(L"USERPROFILE", MakeTempFolder(L"clipvane-process").c_str());
    SetEnvironmentVariableW(L"http_proxy", nullptr);
    std::wstring program = ProgramFolder() + L"\\online_program.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableW(L"CLIPVANE_TEST_SERVER_PORT", nullptr);

    EXPECT_TRUE(server.WaitForRequests(2, startTimeoutMs));
    ProcessWindow search = {child.dwProcessId, nullptr};
    EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&search));
    ASSERT_TRUE(search.found);
    DWORD closedAt = GetTickCount();
    PostMessageW(search.found, WM_CLOSE, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(child.hProcess, promptEndMs));
    printf("process ended %lu ms after WM_CLOSE with both requests unanswered\n", GetTickCount() - closedAt);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(child.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(2u, server.Requests().size());
    if (exitCode == STILL_ACTIVE) TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}
