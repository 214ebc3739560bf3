// The two fire-and-forget requests to the vendor's server. Each runs on a thread of its own,
// reports nothing on failure and retries nothing; the update check's only way back is one
// message posted to the main window.
#include "online/online.h"
#include "app/app_state.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr wchar_t userAgent[] = L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
constexpr wchar_t extraHeader[] = L"UA-CPU: x86\r\n";
constexpr wchar_t updateObject[] = L"tolk/ver.php?ver=2.1.5&trial=0";
constexpr wchar_t usageObjectFormat[] = L"tolk/usageLog.php?ver=2.1.5&os=%d.%d";
constexpr int usageObjectUnits = 256;
// Never answered from the cache, never a dialog of WinINet's own.
constexpr DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_UI;
// One read of at most 63 bytes always leaves the reply zero-terminated.
constexpr DWORD replyBytes = 64;
constexpr char newVersionMarker[] = "_tell";
constexpr char deprecatedMarker[] = "_must";
constexpr DWORD zeroTerminated = static_cast<DWORD>(-1);

// Closes its handle when it goes out of scope; declared in opening order, the handles close
// in reverse order on every path.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_) InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

HINTERNET OpenRoot() { return InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0); }

HINTERNET ConnectToServer(const InternetHandle& root) {
    return InternetConnectW(root.get(), vendorServer.host, vendorServer.port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                            0, 0);
}

HINTERNET OpenRequest(const InternetHandle& connection, const wchar_t* object) {
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    return HttpOpenRequestW(connection.get(), L"GET", object, L"HTTP/1.1", nullptr, acceptTypes, requestFlags, 0);
}

bool SendRequest(const InternetHandle& request) {
    HttpAddRequestHeadersW(request.get(), extraHeader, zeroTerminated, 0);
    return HttpSendRequestW(request.get(), nullptr, zeroTerminated, nullptr, 0) != FALSE;
}

// Reads the beginning of the update check's reply into `reply` (replyBytes, zero-filled);
// every handle is closed when it returns.
void FetchUpdateReply(char* reply) {
    InternetHandle root(OpenRoot());
    if (!root) return;
    InternetHandle connection(ConnectToServer(root));
    if (!connection) return;
    InternetHandle request(OpenRequest(connection, updateObject));
    if (!request || !SendRequest(request)) return;
    DWORD read = 0;
    InternetReadFile(request.get(), reply, replyBytes - 1, &read);
}

bool BeginsWith(const char* text, const char* marker) { return strncmp(text, marker, strlen(marker)) == 0; }

void StartWorker(LPTHREAD_START_ROUTINE routine) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
}

}  // namespace

UINT UpdateMessageFor(const char* reply) {
    if (BeginsWith(reply, newVersionMarker)) return newVersionMessage;
    if (BeginsWith(reply, deprecatedMarker)) return versionDeprecatedMessage;
    return 0;
}

DWORD WINAPI CheckForUpdate(LPVOID) {
    char reply[replyBytes] = {};
    FetchUpdateReply(reply);
    if (UINT message = UpdateMessageFor(reply)) PostMessageW(theApp.mainWindow, message, 0, 0);
    return 0;
}

DWORD WINAPI SendUsagePing(LPVOID) {
    InternetHandle root(OpenRoot());
    if (!root) return 0;
    InternetHandle connection(ConnectToServer(root));
    if (!connection) return 0;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);
    wchar_t object[usageObjectUnits] = {};
    _snwprintf(object, usageObjectUnits - 1, usageObjectFormat, static_cast<int>(version.dwMajorVersion),
               static_cast<int>(version.dwMinorVersion));
    // The answer is of no interest: a request that cannot be opened or sent is simply dropped.
    InternetHandle request(OpenRequest(connection, object));
    if (request) SendRequest(request);
    return 0;
}

void StartOnlineWorkers() {
    StartWorker(CheckForUpdate);
    StartWorker(SendUsagePing);
}
