// Dialog 138: tells the user of a new version, or that this one is obsolete, and offers the
// download page.
#include "online/online.h"
#include "app/app_state.h"
#include "resource.h"

namespace {
constexpr wchar_t downloadPagePath[] = L"tolk/download.htm";
}

INT_PTR CALLBACK NewVersionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        UINT text = static_cast<UINT>(lParam) == versionDeprecatedMessage ? IDS_VERSION_DEPRECATED : IDS_VERSION_NEW;
        SetDlgItemTextW(dialog, IDC_NEW_VERSION_TEXT, CachedString(text));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OpenVendorPage(downloadPagePath);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

INT_PTR ShowNewVersionDialog(UINT cause) {
    return DialogBoxParamW(theApp.hInstance, MAKEINTRESOURCEW(IDD_NEW_VERSION), theApp.mainWindow, NewVersionDialog,
                           static_cast<LPARAM>(cause));
}
