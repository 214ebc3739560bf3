// Linked into every Windows test program and into the test build of the whole program: before
// any start-up runs, the vendor server is 127.0.0.1, so no test looks up or reaches the host the
// build names (a real one, in a build configured for release). The port is the test's own server
// where it passes one in CLIPVANE_TEST_SERVER_PORT, else one where nothing listens, so that the
// start-up's requests are refused at once.
#include "online/online.h"

#include <cwchar>

namespace {

// The "discard" port: nothing listens on it on these machines.
constexpr INTERNET_PORT nothingListens = 9;

bool PointVendorServerAtLoopback() {
    // A proxy set for the machine would carry the requests off it.
    SetEnvironmentVariableW(L"http_proxy", nullptr);
    wchar_t port[16] = {};
    INTERNET_PORT chosen = nothingListens;
    if (GetEnvironmentVariableW(L"CLIPVANE_TEST_SERVER_PORT", port, 16))
        chosen = static_cast<INTERNET_PORT>(wcstoul(port, nullptr, 10));
    vendorServer = {L"127.0.0.1", chosen};
    return true;
}

const bool pointedAtLoopback = PointVendorServerAtLoopback();

}  // namespace
