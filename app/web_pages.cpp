// The vendor's pages, opened in the user's browser. Every address is built from the web server
// chosen at build time, so a build with the default configuration never reaches a real host.
#include "app/app_state.h"
#include "online/online.h"
#include "resource.h"

namespace {

const wchar_t* PagePath(WORD command) {
    switch (command) {
    case IDM_TOOLS_PAGE: return L"tolk/tool.htm";
    case IDM_HOME_PAGE: return L"tolk/";
    case IDM_BLOG_PAGE: return L"blog/";
    case IDM_DONATE_PAGE: return L"tolk/donate.htm";
    default: return nullptr;
    }
}

}  // namespace

const wchar_t* WebPageAddress(WORD command) {
    static wchar_t address[vendorAddressUnits];
    const wchar_t* path = PagePath(command);
    if (!path) return nullptr;
    VendorPageAddress(path, address, vendorAddressUnits);
    return address;
}

const wchar_t* StartPageAddress() {
    static wchar_t address[vendorAddressUnits];
    VendorPageAddress(L"tolk/ad.htm", address, vendorAddressUnits);
    return address;
}

void OpenWebPage(WORD command) {
    const wchar_t* path = PagePath(command);
    if (path) OpenVendorPage(path);
}
