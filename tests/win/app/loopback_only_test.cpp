// A test start of the whole program stays on this machine: every name the program looks up and
// every address it connects to during start-up (the update check and the usage ping, through
// WinINet) is recorded at WinINet's own imports of the socket library, and none is the host the
// build names.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "online/online.h"
#include "server_config.h"
#include "tests/win/app/app_fixture.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

using GetAddrInfoWFunction = INT(WSAAPI*)(PCWSTR, PCWSTR, const ADDRINFOW*, PADDRINFOW*);
using GetAddrInfoFunction = INT(WSAAPI*)(PCSTR, PCSTR, const ADDRINFOA*, PADDRINFOA*);
using ConnectFunction = int(WSAAPI*)(SOCKET, const sockaddr*, int);

std::mutex recordLock;
std::vector<std::wstring> lookedUp;
std::vector<std::wstring> connectedTo;
GetAddrInfoWFunction realGetAddrInfoW;
GetAddrInfoFunction realGetAddrInfo;
ConnectFunction realConnect;

void Record(std::vector<std::wstring>& list, std::wstring entry) {
    std::lock_guard<std::mutex> hold(recordLock);
    list.push_back(std::move(entry));
}

INT WSAAPI RecordingGetAddrInfoW(PCWSTR node, PCWSTR service, const ADDRINFOW* hints, PADDRINFOW* result) {
    Record(lookedUp, node ? node : L"(null)");
    return realGetAddrInfoW(node, service, hints, result);
}

INT WSAAPI RecordingGetAddrInfo(PCSTR node, PCSTR service, const ADDRINFOA* hints, PADDRINFOA* result) {
    Record(lookedUp, node ? std::wstring(node, node + strlen(node)) : L"(null)");
    return realGetAddrInfo(node, service, hints, result);
}

// "a.b.c.d:port" for IPv4, "IPv6" or "family N" otherwise: anything but loopback fails the test.
std::wstring PeerText(const sockaddr* peer) {
    if (peer->sa_family != AF_INET) return L"family " + std::to_wstring(peer->sa_family);
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(peer);
    const auto* octets = reinterpret_cast<const unsigned char*>(&v4->sin_addr);
    const auto* port = reinterpret_cast<const unsigned char*>(&v4->sin_port);
    return std::to_wstring(octets[0]) + L"." + std::to_wstring(octets[1]) + L"." + std::to_wstring(octets[2]) + L"." +
           std::to_wstring(octets[3]) + L":" + std::to_wstring(port[0] * 256 + port[1]);
}

int WSAAPI RecordingConnect(SOCKET socket, const sockaddr* peer, int length) {
    Record(connectedTo, PeerText(peer));
    return realConnect(socket, peer, length);
}

template <typename Function>
void Replace(const char* name, Function* real, Function recording) {
    void** slot = ImportSlot(GetModuleHandleW(L"wininet.dll"), name);
    ASSERT_TRUE(slot) << "WinINet does not import " << name;
    *real = reinterpret_cast<Function>(*slot);
    WriteImportSlot(slot, reinterpret_cast<void*>(recording));
}

template <typename Function>
void Restore(const char* name, Function real) {
    if (void** slot = ImportSlot(GetModuleHandleW(L"wininet.dll"), name))
        WriteImportSlot(slot, reinterpret_cast<void*>(real));
}

class LoopbackOnly : public ProgramTest {
protected:
    // Before start-up: the workers start their requests inside AppState::Init.
    static void SetUpTestSuite() {
        ProgramTest::SetUpTestSuite();
        Replace("GetAddrInfoW", &realGetAddrInfoW, RecordingGetAddrInfoW);
        Replace("getaddrinfo", &realGetAddrInfo, RecordingGetAddrInfo);
        Replace("connect", &realConnect, RecordingConnect);
    }
    static void TearDownTestSuite() {
        Restore("GetAddrInfoW", realGetAddrInfoW);
        Restore("getaddrinfo", realGetAddrInfo);
        Restore("connect", realConnect);
    }
    // Both requests have connected (refused: nothing listens there), or one looked up a name.
    static bool RequestsWentOut() {
        std::lock_guard<std::mutex> hold(recordLock);
        bool named = false;
        for (const std::wstring& name : lookedUp) named = named || name != L"127.0.0.1";
        return named || connectedTo.size() >= 2;
    }
};

}  // namespace

TEST_F(LoopbackOnly, StartUpLooksUpAndReachesNothingButLoopback) {
    ASSERT_TRUE(PumpUntil(RequestsWentOut, 20000)) << "the start-up's two requests never went out";
    PumpMessages(1000);  // anything either request does next
    std::lock_guard<std::mutex> hold(recordLock);
    for (const std::wstring& name : lookedUp) {
        EXPECT_EQ(L"127.0.0.1", name) << "the build names "
                                      << testing::PrintToString(std::wstring(CLIPVANE_SERVER_HOST));
    }
    EXPECT_GE(connectedTo.size(), 2u);
    for (const std::wstring& peer : connectedTo) EXPECT_EQ(L"127.0.0.1:9", peer);
}
