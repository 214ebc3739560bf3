#include "tests/win/app/app_fixture.h"

#include <commctrl.h>
#include <ole2.h>

std::wstring ProgramTest::userProfile;

void ProgramTest::SetUpTestSuite() {
    // Settings go to a private folder, never to the prefix's real profile.
    userProfile = MakeTempFolder(L"clipvane-profile");
    SetEnvironmentVariableW(L"USERPROFILE", userProfile.c_str());
}

void ProgramTest::SetUp() {
    OleInitialize(nullptr);
    InitCommonControls();
    ASSERT_TRUE(theApp.Init(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(IsWindow(theApp.mainWindow));
}

void ProgramTest::TearDown() {
    if (IsWindow(theApp.mainWindow)) theApp.Exit();
    PumpMessages(50);
    OleUninitialize();
}

std::wstring MenuText(HMENU menu, UINT command) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, command, text, 256, MF_BYCOMMAND);
    return text;
}

bool MenuItemGrayed(HMENU menu, UINT command) { return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED) != 0; }

HMENU OpenOperationsMenu() {
    HMENU operations = GetSubMenu(GetMenu(theApp.mainWindow), 0);
    SendMessageW(theApp.mainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(operations), MAKELPARAM(0, FALSE));
    return operations;
}
