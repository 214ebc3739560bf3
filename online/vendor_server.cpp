// The vendor's web server chosen at build time; the default host reaches nothing.
#include "online/online.h"
#include "server_config.h"

#include <shellapi.h>
#include <cstdio>

VendorServer vendorServer = {CLIPVANE_SERVER_HOST, CLIPVANE_SERVER_PORT};

void VendorPageAddress(const wchar_t* path, wchar_t* address, size_t units) {
    if (vendorServer.port == INTERNET_DEFAULT_HTTP_PORT)
        _snwprintf(address, units - 1, L"http://%ls/%ls", vendorServer.host, path);
    else
        _snwprintf(address, units - 1, L"http://%ls:%u/%ls", vendorServer.host,
                   static_cast<unsigned>(vendorServer.port), path);
    address[units - 1] = L'\0';
}

void OpenVendorPage(const wchar_t* path) {
    wchar_t address[vendorAddressUnits];
    VendorPageAddress(path, address, vendorAddressUnits);
    ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}
