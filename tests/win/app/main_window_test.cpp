// The menu, the topmost toggle, the accelerators, the web pages and the About box.
#include "tests/win/app/app_fixture.h"
#include "resource.h"
#include "settings/data_folder.h"

#include <vector>

TEST_F(ProgramTest, MenuBarHasTheFourMenus) {
    HMENU bar = GetMenu(theApp.mainWindow);
    ASSERT_EQ(4, GetMenuItemCount(bar));
    const wchar_t* expected[] = {L"操作(&O)", L"工具(&T)", L"捐助(&M)", L"帮助(&H)"};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(bar, i, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(expected[i], text);
    }
}

TEST_F(ProgramTest, WithNoFileTheTransportItemsAreGrayed) {
    HMENU operations = OpenOperationsMenu();
    const UINT grayed[] = {IDM_PLAY_PAUSE, IDM_STOP,    IDM_JUMP_FORWARD, IDM_JUMP_BACKWARD,
                           IDM_MARK_AB,    IDM_CUT,     IDM_GO_TO_START,  IDM_GO_TO_END,
                           IDM_A_PLUS,     IDM_A_MINUS, IDM_B_PLUS,       IDM_B_MINUS};
    for (UINT command : grayed) EXPECT_TRUE(MenuItemGrayed(operations, command)) << command;
    const UINT enabled[] = {IDM_OPEN, IDM_SAMPLE, IDM_TOPMOST, IDM_EXIT};
    for (UINT command : enabled) EXPECT_FALSE(MenuItemGrayed(operations, command)) << command;
    EXPECT_EQ(L"播放 \t ↓", MenuText(operations, IDM_PLAY_PAUSE));
    EXPECT_EQ(L"设置a点 \t ab点定位键“↑”", MenuText(operations, IDM_MARK_AB));
}

TEST_F(ProgramTest, OtherPopupsAreLeftAlone) {
    // Only position 0 is brought up to date; another position must not touch the first menu.
    HMENU operations = GetSubMenu(GetMenu(theApp.mainWindow), 0);
    EnableMenuItem(operations, IDM_STOP, MF_BYCOMMAND | MF_ENABLED);
    SendMessageW(theApp.mainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(operations), MAKELPARAM(1, FALSE));
    EXPECT_FALSE(MenuItemGrayed(operations, IDM_STOP));
    SendMessageW(theApp.mainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(operations), MAKELPARAM(0, TRUE));
    EXPECT_FALSE(MenuItemGrayed(operations, IDM_STOP));
}

TEST_F(ProgramTest, TopmostItemAlternatesWithTheRealWindowState) {
    auto isTopmost = [] { return (GetWindowLongW(theApp.mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    EXPECT_EQ(L"窗口置顶", MenuText(OpenOperationsMenu(), IDM_TOPMOST));
    EXPECT_FALSE(isTopmost());

    SendMessageW(theApp.mainWindow, WM_COMMAND, IDM_TOPMOST, 0);
    EXPECT_TRUE(theApp.topmost);
    EXPECT_TRUE(isTopmost());
    EXPECT_EQ(L"取消窗口置顶", MenuText(OpenOperationsMenu(), IDM_TOPMOST));

    SendMessageW(theApp.mainWindow, WM_COMMAND, IDM_TOPMOST, 0);
    EXPECT_FALSE(theApp.topmost);
    EXPECT_FALSE(isTopmost());
    EXPECT_EQ(L"窗口置顶", MenuText(OpenOperationsMenu(), IDM_TOPMOST));
}

TEST_F(ProgramTest, ToolsItemsAllOpenTheToolsPage) {
    HMENU tools = GetSubMenu(GetMenu(theApp.mainWindow), 1);
    int commands = 0;
    for (int i = 0; i < GetMenuItemCount(tools); ++i) {
        UINT id = GetMenuItemID(tools, i);
        if (id == 0) continue;  // separator
        EXPECT_EQ(static_cast<UINT>(IDM_TOOLS_PAGE), id);
        ++commands;
    }
    EXPECT_EQ(6, commands);
}

TEST(WebPages, AddressesComeFromTheConfiguredServer) {
    struct {
        WORD command;
        const wchar_t* path;
    } pages[] = {{IDM_TOOLS_PAGE, L"/tolk/tool.htm"},
                 {IDM_HOME_PAGE, L"/tolk/"},
                 {IDM_BLOG_PAGE, nullptr},
                 {IDM_DONATE_PAGE, nullptr}};
    for (const auto& page : pages) {
        std::wstring address = WebPageAddress(page.command);
        // Every test program has the vendor server at 127.0.0.1:9 (tests/win/support/vendor_loopback.cpp).
        EXPECT_EQ(0u, address.find(L"http://127.0.0.1:9/")) << address;
        if (page.path) {
            EXPECT_EQ(address.size() - wcslen(page.path), address.rfind(page.path)) << address;
        }
    }
    EXPECT_EQ(nullptr, WebPageAddress(IDM_OPEN));
}

TEST(Accelerators, TheEightKeysMapToTheirCommands) {
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    ASSERT_TRUE(table);
    int count = CopyAcceleratorTableW(table, nullptr, 0);
    ASSERT_EQ(8, count);
    std::vector<ACCEL> entries(count);
    CopyAcceleratorTableW(table, entries.data(), count);
    struct {
        WORD key;
        WORD command;
    } expected[] = {{VK_DOWN, IDM_PLAY_PAUSE},  {VK_END, IDM_GO_TO_END},      {VK_F4, IDM_STOP},
                    {VK_HOME, IDM_GO_TO_START}, {VK_LEFT, IDM_JUMP_BACKWARD}, {VK_RIGHT, IDM_JUMP_FORWARD},
                    {VK_TAB, IDM_CUT},          {VK_UP, IDM_MARK_AB}};
    for (const auto& want : expected) {
        bool found = false;
        for (const ACCEL& entry : entries) {
            if (entry.key != want.key) continue;
            found = true;
            EXPECT_EQ(want.command, entry.cmd);
            EXPECT_TRUE(entry.fVirt & FVIRTKEY) << want.key;
            EXPECT_TRUE(entry.fVirt & FNOINVERT) << want.key;
            EXPECT_EQ(0, entry.fVirt & (FSHIFT | FCONTROL | FALT)) << want.key;
        }
        EXPECT_TRUE(found) << "key " << want.key;
    }
    DestroyAcceleratorTable(table);
}

TEST_F(ProgramTest, AboutBoxShowsTheCaptionLineAndClosesWithOk) {
    DialogAnswerer answerer;
    answerer.Queue(DialogAnswerer::PressButton(IDOK));
    SendMessageW(theApp.mainWindow, WM_COMMAND, IDM_ABOUT, 0);
    auto shown = answerer.Shown();
    ASSERT_EQ(1u, shown.size());
    EXPECT_NE(std::wstring::npos, shown[0].text.find(L"Clipvane 2.1.5 （免费）"));
}

TEST_F(ProgramTest, UnknownCommandsGoToTheDefaultProcedure) {
    EXPECT_FALSE(theApp.OnCommand(12345));
    EXPECT_TRUE(IsWindow(theApp.mainWindow));
}

TEST_F(ProgramTest, EndOfSessionSavesTheSettingsWhateverItsParameter) {
    wchar_t roaming[pathUnits] = {};
    GetRoamingFolder(theApp.osMajorVersion, roaming);
    std::wstring settings = std::wstring(roaming) + L"\\Clipvane\\options.ini";
    for (WPARAM ending : {FALSE, TRUE}) {
        DeleteFileW(settings.c_str());
        theApp.eachJump = ending ? 7 : 5;
        EXPECT_EQ(0, SendMessageW(theApp.mainWindow, WM_ENDSESSION, ending, 0));
        EXPECT_EQ(theApp.eachJump,
                  static_cast<int>(GetPrivateProfileIntW(L"options", L"eachJump", 0, settings.c_str())))
            << "WM_ENDSESSION " << ending;
    }
    EXPECT_TRUE(IsWindow(theApp.mainWindow));
    theApp.eachJump = 3;
}
