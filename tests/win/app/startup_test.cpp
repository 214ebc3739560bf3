// Start-up: the main window, its status bar, centring and the string table.
#include "tests/win/app/app_fixture.h"
#include "resource.h"

#include <commctrl.h>

namespace {

std::wstring StatusText(int part) {
    wchar_t text[512] = {};
    SendMessageW(theApp.statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

RECT WindowRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

}  // namespace

TEST_F(ProgramTest, MainWindowHasClassCaptionFixedSizeAndIsCentred) {
    wchar_t className[64] = {};
    GetClassNameW(theApp.mainWindow, className, 64);
    EXPECT_STREQ(L"Clipvane", className);
    EXPECT_EQ(L"Clipvane 2.1.5 （免费）", WindowText(theApp.mainWindow));
    EXPECT_TRUE(IsWindowVisible(theApp.mainWindow));

    RECT own = WindowRect(theApp.mainWindow);
    EXPECT_EQ(720, own.right - own.left);
    EXPECT_EQ(420, own.bottom - own.top);
    RECT desktop = WindowRect(GetDesktopWindow());
    EXPECT_EQ(((desktop.right - desktop.left) - 720) / 2, own.left);
    EXPECT_EQ(((desktop.bottom - desktop.top) - 420) / 2, own.top);

    LONG style = GetWindowLongW(theApp.mainWindow, GWL_STYLE);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(GetWindowLongW(theApp.mainWindow, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(ProgramTest, StatusBarHasTwoPartsAndTheNoFileText) {
    int edges[4] = {};
    ASSERT_EQ(2, SendMessageW(theApp.statusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)));
    EXPECT_EQ(150, edges[0]);
    EXPECT_EQ(-1, edges[1]);
    EXPECT_EQ(L"还未载入mp3文件", StatusText(0));
    EXPECT_EQ(L"", StatusText(1));
    EXPECT_EQ(theApp.mainWindow, GetParent(theApp.statusBar));
}

TEST_F(ProgramTest, StartsWithNothingLoadedAndDefaultState) {
    EXPECT_FALSE(theApp.loaded);
    EXPECT_EQ(Stopped, theApp.playState);
    EXPECT_EQ(-1, theApp.pointA);
    EXPECT_EQ(-1, theApp.pointB);
    EXPECT_EQ(nullptr, theApp.graph);
    EXPECT_EQ(L'\0', theApp.currentFile[0]);
}

TEST(CenterWindow, PlacesAWindowLargerThanTheDesktopAtTheOrigin) {
    HWND big =
        CreateWindowExW(0, L"STATIC", L"big", WS_POPUP, 300, 200, 4000, 3000, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(big);
    CenterWindow(big);
    RECT rect = WindowRect(big);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    DestroyWindow(big);
}

TEST(CenterWindow, CentresASmallWindow) {
    HWND small = CreateWindowExW(0, L"STATIC", L"small", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(small);
    CenterWindow(small);
    RECT desktop = WindowRect(GetDesktopWindow());
    RECT rect = WindowRect(small);
    EXPECT_EQ((desktop.right - desktop.left - 100) / 2, rect.left);
    EXPECT_EQ((desktop.bottom - desktop.top - 50) / 2, rect.top);
    DestroyWindow(small);
}

TEST_F(ProgramTest, ExitDestroysTheMainWindowAndPostsQuit) {
    HWND window = theApp.mainWindow;
    theApp.Exit();
    EXPECT_FALSE(IsWindow(window));
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0, static_cast<int>(message.wParam));
}

TEST_F(ProgramTest, ClosingTheWindowEndsTheProgram) {
    HWND window = theApp.mainWindow;
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
}

struct QuotedString {
    UINT id;
    const wchar_t* text;
};

const QuotedString quotedStrings[] = {
    {103, L"Clipvane 2.1.5 （免费）"},
    {110, L"使用提示：按定位键“↑”设好a点、b点后，即开始在ab间复读，按“Tab”键进行剪切，再次按“↑”键取消a点、b点。"},
    {111, L"载入失败：\r\n%s"},
    {112, L"播放失败：\r\n%s"},
    {113, L"文件有缺失，请重装本软件"},
    {114, L"文件有缺失，请重新安装本软件"},
    {115, L"系统环境有问题，请修复或重装 DirectX"},
    {116, L"还未载入mp3文件"},
    {117, L"已载入mp3文件"},
    {118, L"播放中…"},
    {119, L"暂停播放"},
    {120, L"已停止播放"},
    {121, L"播放 \t ↓"},
    {122, L"暂停 \t ↓"},
    {123, L"设置a点 \t ab点定位键“↑”"},
    {124, L"设置b点 \t ab点定位键“↑”"},
    {125, L"取消ab点 \t ab点定位键“↑”"},
    {126, L"此版本已被废弃"},
    {127, L"已发布新版本"},
    {141, L"播放异常：\r\n%s"},
    {145, L"剪切完成"},
    {146, L"ab点间隔不能小于%d毫秒"},
    {147, L"窗口置顶"},
    {148, L"取消窗口置顶"},
    {150, L"请不要自我覆盖"},
    {151, L"文件创建失败：\r\n%S\r\n\r\n（请检查您是否有目标文件夹的写入权限）"},
    {152, L"%s 已存在。\r\n要替换它吗？"},
    {153, L"读文件失败：\n%s\n\n%S"},
    {154, L"写文件失败：\n%s\n\n%S"},
    {155, L"剪切失败"},
    {156, L"无法启动剪切程序 mp3splt.exe"},
};

const QuotedString tooltipStrings[] = {
    {128, L"播放（↓）"},
    {129, L"暂停（↓）"},
    {130, L"向后跳跃（←）"},
    {131, L"向前跳跃（→）"},
    {132, L"设置a点（ab点定位键“↑”）"},
    {133, L"设置b点（ab点定位键“↑”）"},
    {134, L"取消ab点（ab点定位键“↑”）"},
    {135, L"打开mp3文件"},
    {136, L"将ab部分剪切到…（Tab）"},
    {137, L"ab点微调：a+"},
    {138, L"ab点微调：a-"},
    {139, L"ab点微调：b+"},
    {140, L"ab点微调：b-"},
};

TEST_F(ProgramTest, CachedStringsMatchTheQuotedTexts) {
    for (const QuotedString& quoted : quotedStrings)
        EXPECT_STREQ(quoted.text, CachedString(quoted.id)) << "string " << quoted.id;
}

TEST(StringTable, TooltipTextsMatchTheQuotedTexts) {
    for (const QuotedString& quoted : tooltipStrings) {
        wchar_t text[256] = {};
        LoadStringW(GetModuleHandleW(nullptr), quoted.id, text, 256);
        EXPECT_STREQ(quoted.text, text) << "string " << quoted.id;
    }
}

TEST(StringTable, FormatsUseWideAndNarrowArgumentsAsTheTableExpects) {
    // %s takes the UTF-16 text and %S the runtime's narrow error text.
    wchar_t message[512] = {};
    _snwprintf(message, 511, L"%s|%S", L"载入", "narrow");
    EXPECT_STREQ(L"载入|narrow", message);
}
