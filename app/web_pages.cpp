// The vendor's pages, opened in the user's browser. Every address is built from the web server
// chosen at build time, so a build with the default configuration never reaches a real host.
#include "app/app_state.h"
#include "resource.h"
#include "server_config.h"

#include <shellapi.h>
#include <cstdio>

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
    const wchar_t* path = PagePath(command);
    return path ? ServerPageAddress(path) : nullptr;
}

const wchar_t* StartPageAddress() {
    return ServerPageAddress(L"tolk/ad.htm");
}

const wchar_t* ServerPageAddress(const wchar_t* path) {
    static wchar_t address[512];
    if (CLIPVANE_SERVER_PORT == 80)
        _snwprintf(address, 511, L"http://%ls/%ls", CLIPVANE_SERVER_HOST, path);
    else
        _snwprintf(address, 511, L"http://%ls:%d/%ls", CLIPVANE_SERVER_HOST, CLIPVANE_SERVER_PORT, path);
    return address;
}

void OpenWebPage(WORD command) {
    const wchar_t* address = WebPageAddress(command);
    if (address) ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}
