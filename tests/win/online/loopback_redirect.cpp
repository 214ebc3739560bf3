// Linked only into the test build of the program: before the entry point runs, points the vendor
// server at 127.0.0.1 and the port the test passes in CLIPVANE_TEST_SERVER_PORT.
#include "online/online.h"

#include <cwchar>

namespace {

bool RedirectToLoopback() {
    wchar_t port[16] = {};
    if (!GetEnvironmentVariableW(L"CLIPVANE_TEST_SERVER_PORT", port, 16)) return false;
    vendorServer = {L"127.0.0.1", static_cast<INTERNET_PORT>(wcstoul(port, nullptr, 10))};
    return true;
}

const bool redirected = RedirectToLoopback();

}  // namespace
