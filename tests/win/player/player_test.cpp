// The player end to end with real graphs and real files: opening, the transport, the A-B loop,
// the end-of-file stop, the graph's error events and the repair path.
#include "playback/playback_graph.h"
#include "resource.h"
#include "tests/win/app/app_fixture.h"

#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

std::wstring StatusText(int part) {
    wchar_t text[512] = {};
    SendMessageW(theApp.statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

const DialogAnswerer::Reply leaveAlone = [](HWND) {};

class PlayerTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        folder = MakeTempFolder(L"clipvane-player");
    }
    std::wstring CopyFixture(const wchar_t* fixture, const wchar_t* name) {
        std::wstring path = folder + L"\\" + name;
        EXPECT_TRUE(CopyFileW(FixturePath(fixture).c_str(), path.c_str(), FALSE)) << fixture;
        return path;
    }
    void OpenPaused(const wchar_t* fixture) {
        theApp.OpenFile(CopyFixture(fixture, fixture).c_str());
        ASSERT_TRUE(theApp.loaded);
        theApp.TogglePlay();
        ASSERT_EQ(Paused, theApp.playState);
    }
    // Seeks while paused and waits for the graph to report the new position.
    void PausedAt(int ms) {
        theApp.graph->SeekMs(ms);
        PumpUntil([&] { return std::abs(theApp.graph->GetPositionMs() - ms) < 30; }, 2000);
    }
    std::wstring folder;
};

}  // namespace

TEST_F(PlayerTest, OpeningByPathStartsPlayback) {
    std::wstring path = CopyFixture(L"cbr128.mp3", L"song.mp3");
    theApp.OpenFile(path.c_str());
    ASSERT_TRUE(theApp.loaded);
    EXPECT_EQ(Playing, theApp.playState);
    EXPECT_EQ(L"播放中…", StatusText(0));
    EXPECT_EQ(path, StatusText(1));
    EXPECT_EQ(L"song - Clipvane 2.1.5 （免费）", WindowText(theApp.mainWindow));
    EXPECT_EQ(path, theApp.currentFile);
    int start = theApp.graph->GetPositionMs();
    PumpMessages(600);
    EXPECT_GT(theApp.graph->GetPositionMs(), start);
}

TEST_F(PlayerTest, PauseKeepsThePointsAndStopForgetsThemAndRewinds) {
    OpenPaused(L"cbr128.mp3");
    EXPECT_EQ(L"暂停播放", StatusText(0));
    PausedAt(3000);
    theApp.MarkAB();
    EXPECT_NEAR(3000, theApp.pointA, 30);

    theApp.TogglePlay();
    EXPECT_EQ(Playing, theApp.playState);
    EXPECT_EQ(L"播放中…", StatusText(0));
    EXPECT_NE(-1, theApp.pointA);

    theApp.Stop();
    EXPECT_EQ(Stopped, theApp.playState);
    EXPECT_EQ(L"已停止播放", StatusText(0));
    EXPECT_EQ(-1, theApp.pointA);
    EXPECT_EQ(-1, theApp.pointB);
    EXPECT_EQ(0, theApp.graph->GetPositionMs());

    theApp.TogglePlay();
    EXPECT_EQ(Playing, theApp.playState);
    EXPECT_LT(theApp.graph->GetPositionMs(), 500);
}

TEST_F(PlayerTest, MarkingCyclesThroughASetBSetAndCancelWithSwap) {
    OpenPaused(L"cbr128.mp3");
    PausedAt(10000);
    theApp.MarkAB();
    PausedAt(4000);
    theApp.MarkAB();
    EXPECT_NEAR(4000, theApp.pointA, 30);
    EXPECT_NEAR(10000, theApp.pointB, 30);
    EXPECT_LE(theApp.pointA, theApp.pointB);
    EXPECT_EQ(static_cast<UINT>(IDB_STRIP_PLAY_CANCEL), CurrentToolbarStrip());
    theApp.MarkAB();
    EXPECT_EQ(-1, theApp.pointA);
    EXPECT_EQ(-1, theApp.pointB);

    // Marking twice at one position gives an empty stretch.
    PausedAt(5000);
    theApp.MarkAB();
    theApp.MarkAB();
    EXPECT_EQ(theApp.pointA, theApp.pointB);
}

TEST_F(PlayerTest, MenuFollowsTheMarkedPoints) {
    OpenPaused(L"cbr128.mp3");
    theApp.TogglePlay();
    theApp.MarkAB();
    HMENU operations = OpenOperationsMenu();
    EXPECT_EQ(L"暂停 \t ↓", MenuText(operations, IDM_PLAY_PAUSE));
    EXPECT_EQ(L"设置b点 \t ab点定位键“↑”", MenuText(operations, IDM_MARK_AB));
    EXPECT_TRUE(MenuItemGrayed(operations, IDM_CUT));
    EXPECT_FALSE(MenuItemGrayed(operations, IDM_A_PLUS));
    EXPECT_FALSE(MenuItemGrayed(operations, IDM_A_MINUS));
    EXPECT_TRUE(MenuItemGrayed(operations, IDM_B_PLUS));
}

// Each nudge command once, at a limit; the clamps' edge cases are in the native logic tests.
TEST_F(PlayerTest, NudgesClampAtTheirLimits) {
    OpenPaused(L"cbr128.mp3");
    int stop = theApp.graph->GetStopMs();
    theApp.fineTuning = 200;
    struct Case {
        int a, b;
        void (AppState::*nudge)();
        int wantA, wantB;
    } cases[] = {
        {9900, 10000, &AppState::FineTuneAPlus, 10000, 10000},
        {1000, 1100, &AppState::FineTuneBMinus, 1000, 1000},
        {100, -1, &AppState::FineTuneAMinus, 0, -1},
        {1000, stop - 50, &AppState::FineTuneBPlus, 1000, stop},
    };
    for (const Case& c : cases) {
        theApp.pointA = c.a;
        theApp.pointB = c.b;
        (theApp.*c.nudge)();
        EXPECT_EQ(c.wantA, theApp.pointA) << c.a << "," << c.b;
        EXPECT_EQ(c.wantB, theApp.pointB) << c.a << "," << c.b;
    }
    // Without their point the nudges do nothing.
    theApp.pointA = theApp.pointB = -1;
    theApp.FineTuneAPlus();
    theApp.FineTuneBMinus();
    EXPECT_EQ(-1, theApp.pointA);
    EXPECT_EQ(-1, theApp.pointB);
}

TEST_F(PlayerTest, JumpsAndGoTosStayWithinTheFile) {
    OpenPaused(L"cbr128.mp3");
    int stop = theApp.graph->GetStopMs();
    theApp.eachJump = 3;
    PausedAt(2000);
    theApp.JumpBackward();
    EXPECT_EQ(0, theApp.graph->GetPositionMs());
    PausedAt(stop - 1000);
    theApp.JumpForward();
    EXPECT_EQ(stop, theApp.graph->GetPositionMs());
    theApp.GoToStart();
    EXPECT_EQ(0, theApp.graph->GetPositionMs());
    theApp.GoToEnd();
    EXPECT_EQ(stop, theApp.graph->GetPositionMs());
    PausedAt(5000);
    theApp.JumpForward();
    EXPECT_EQ(8000, theApp.graph->GetPositionMs());
}

TEST_F(PlayerTest, TransportKeysDoNothingWithoutAnActiveFile) {
    theApp.MarkAB();
    theApp.JumpForward();
    theApp.Stop();
    theApp.TogglePlay();
    EXPECT_FALSE(theApp.loaded);
    EXPECT_EQ(-1, theApp.pointA);
    EXPECT_EQ(L"还未载入mp3文件", StatusText(0));
}

TEST_F(PlayerTest, PlaybackLoopsBetweenAAndB) {
    OpenPaused(L"cbr128.mp3");
    theApp.pointA = 2000;
    theApp.pointB = 3000;
    PausedAt(2000);
    theApp.TogglePlay();
    ASSERT_EQ(Playing, theApp.playState);
    std::vector<int> samples;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 3000) {
        PumpMessages(10);
        samples.push_back(theApp.graph->GetPositionMs());
    }
    const int overshoot = 250;  // one 25 ms tick plus Wine's timer slack
    bool returnedToA = false;
    int previous = samples.front();
    for (int position : samples) {
        EXPECT_GE(position, 2000 - 30);
        EXPECT_LE(position, 3000 + overshoot);
        if (previous > 2700 && position < 2300) returnedToA = true;
        previous = position;
    }
    EXPECT_TRUE(returnedToA);
    EXPECT_EQ(Playing, theApp.playState);
}

TEST_F(PlayerTest, ALoopWhoseAEndsAFrameStillPlaysOn) {
    // At 44.1 kHz a frame lasts 26.12 ms: frame 100 ends at 2638.37 ms. Were the position after
    // the seek back to read the frame's start, every tick would find it at or before A and
    // seek again, and playback would never get past A.
    OpenPaused(L"cbr128.mp3");
    theApp.pointA = 2638;
    theApp.pointB = 3638;
    PausedAt(2638);
    theApp.TogglePlay();
    int highest = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) {
        PumpMessages(10);
        highest = std::max(highest, theApp.graph->GetPositionMs());
    }
    EXPECT_GT(highest, 3000);
}

TEST_F(PlayerTest, ReachingTheEndWithoutBStopsAndRewinds) {
    OpenPaused(L"cbr128.mp3");
    theApp.MarkAB();
    ASSERT_NE(-1, theApp.pointA);
    theApp.GoToEnd();
    theApp.TogglePlay();
    EXPECT_TRUE(PumpUntil([] { return theApp.playState == Stopped; }, 3000));
    EXPECT_EQ(-1, theApp.pointA);
    EXPECT_EQ(0, theApp.graph->GetPositionMs());
    EXPECT_EQ(L"已停止播放", StatusText(0));
}

TEST_F(PlayerTest, AnAbortEventWhilePlayingStopsAndReports) {
    std::wstring path = CopyFixture(L"cbr128.mp3", L"abort.mp3");
    theApp.OpenFile(path.c_str());
    ASSERT_EQ(Playing, theApp.playState);
    DialogAnswerer answerer;
    IMediaEventSink* sink = nullptr;
    ASSERT_EQ(S_OK, theApp.graph->graphBuilder->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)));
    sink->Notify(EC_ERRORABORT, E_OUTOFMEMORY, 0);
    sink->Release();
    EXPECT_TRUE(PumpUntil([] { return theApp.playState == Stopped; }, 3000));
    auto shown = answerer.Shown();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(0u, shown[0].text.find(L"播放异常：\r\n"));
    EXPECT_EQ(L"Clipvane 2.1.5 （免费）", shown[0].caption);
}

TEST_F(PlayerTest, AnAbortEventWhilePausedIsIgnored) {
    OpenPaused(L"cbr128.mp3");
    DialogAnswerer answerer;
    IMediaEventSink* sink = nullptr;
    ASSERT_EQ(S_OK, theApp.graph->graphBuilder->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)));
    sink->Notify(EC_ERRORABORT, E_FAIL, 0);
    sink->Release();
    PumpMessages(300);
    EXPECT_EQ(Paused, theApp.playState);
    EXPECT_TRUE(answerer.Shown().empty());
}

TEST_F(PlayerTest, AFileNoToolCanFixShowsTheLoadFailure) {
    std::wstring path = CopyFixture(L"notmp3.mp3", L"broken.mp3");
    DialogAnswerer answerer;
    answerer.Queue(leaveAlone);  // the repair dialog closes by itself when the tool ends
    theApp.OpenFile(path.c_str());
    EXPECT_FALSE(theApp.loaded);
    auto shown = answerer.Shown();
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(L"正在修复mp3文件…", shown[0].caption);
    EXPECT_EQ(0u, shown[1].text.find(L"载入失败：\r\n"));
    EXPECT_EQ(L"Clipvane 2.1.5 （免费）", WindowText(theApp.mainWindow));
}

// Opens without a repair or any dialog and plays to its end; the splitter that took it.
CLSID OpenWithoutRepairAndPlayToTheEnd(const std::wstring& path) {
    DialogAnswerer answerer;
    theApp.OpenFile(path.c_str());
    CLSID splitter = {};
    EXPECT_TRUE(theApp.loaded);
    if (!theApp.loaded) return splitter;
    EXPECT_TRUE(answerer.Shown().empty());
    EXPECT_FALSE(FileExists(path + L".bak"));
    EXPECT_EQ(S_OK, theApp.graph->splitterFilter->GetClassID(&splitter));
    EXPECT_NEAR(theApp.graph->GetStopMs(), 1000, 60);
    // At its end the program stops by itself. Stopping Wine's splitter while it still delivers
    // hangs now and then (a Wine fault), so the test waits for the end instead.
    EXPECT_TRUE(PumpUntil([] { return theApp.playState == Stopped; }, 10000));
    return splitter;
}

// Free format (no bitrate in the headers; one short second) plays through the project's
// parser, which times it from its frames.
TEST_F(PlayerTest, AFreeFormatFilePlaysThroughTheProjectsParser) {
    EXPECT_NE(CLSID_MPEG1Splitter, OpenWithoutRepairAndPlayToTheEnd(CopyFixture(L"freeformat.mp3", L"free.mp3")));
}

// More lead-in (zeros) than the project's parser looks through: the system's splitter takes
// the file.
TEST_F(PlayerTest, AFileOnlyTheSystemSplitterAcceptsLoadsWithoutRepair) {
    std::wstring path = CopyFixture(L"freeformat.mp3", L"leadin.mp3");
    std::vector<char> file(17 * 1024 * 1024, 0);
    FILE* audio = _wfopen(path.c_str(), L"rb");
    ASSERT_NE(nullptr, audio);
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, audio)) > 0;) file.insert(file.end(), chunk, chunk + got);
    fclose(audio);
    FILE* out = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(nullptr, out);
    fwrite(file.data(), 1, file.size(), out);
    fclose(out);
    EXPECT_EQ(CLSID_MPEG1Splitter, OpenWithoutRepairAndPlayToTheEnd(path));
}

// A Layer II piece spliced in front of a longer MP3: the parser plays the stream that holds
// most of the audio, as the repair tool would keep it, so no repair is needed.
TEST_F(PlayerTest, AFileWithAForeignLeadInPlaysWithoutRepair) {
    if (!FileExists(FixturePath(L"twostreams.mp3"))) GTEST_SKIP() << "twolame was not there to make the fixture";
    std::wstring path = CopyFixture(L"twostreams.mp3", L"spliced.mp3");
    DialogAnswerer answerer;
    theApp.OpenFile(path.c_str());
    EXPECT_TRUE(answerer.Shown().empty());
    ASSERT_TRUE(theApp.loaded);
    EXPECT_EQ(Playing, theApp.playState);
    EXPECT_NEAR(theApp.graph->GetStopMs(), 12000, 100);
    EXPECT_FALSE(FileExists(path + L".bak"));
}

TEST_F(PlayerTest, CancellingTheOpenDialogUnloadsTheFile) {
    theApp.OpenFile(CopyFixture(L"cbr128.mp3", L"first.mp3").c_str());
    ASSERT_TRUE(theApp.loaded);
    DialogAnswerer answerer;
    answerer.Queue(DialogAnswerer::PressButton(IDCANCEL));
    SendMessageW(theApp.mainWindow, WM_COMMAND, IDM_OPEN, 0);
    EXPECT_FALSE(theApp.loaded);
    EXPECT_EQ(1u, answerer.Shown().size());
    EXPECT_EQ(L"Clipvane 2.1.5 （免费）", WindowText(theApp.mainWindow));
    EXPECT_EQ(L"还未载入mp3文件", StatusText(0));
    EXPECT_EQ(L"", StatusText(1));
}

TEST_F(PlayerTest, TheOpenDialogOpensTheChosenFile) {
    std::wstring path = CopyFixture(L"vbr.mp3", L"chosen.mp3");
    DialogAnswerer answerer;
    answerer.Queue(DialogAnswerer::ChooseFile(path));
    SendMessageW(theApp.mainWindow, WM_COMMAND, IDM_OPEN, 0);
    EXPECT_TRUE(theApp.loaded);
    EXPECT_EQ(0, lstrcmpiW(path.c_str(), theApp.currentFile));
}

TEST_F(PlayerTest, AReadOnlyFileLoadsAndBecomesWritable) {
    std::wstring path = CopyFixture(L"cbr128.mp3", L"readonly.mp3");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    theApp.OpenFile(path.c_str());
    EXPECT_TRUE(theApp.loaded);
    EXPECT_FALSE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(PlayerTest, MutedSettingsOpenSilently) {
    theApp.bMute = TRUE;
    theApp.volume = -500;
    theApp.OpenFile(CopyFixture(L"cbr128.mp3", L"muted.mp3").c_str());
    ASSERT_TRUE(theApp.loaded);
    long volume = 0;
    theApp.graph->basicAudio->get_Volume(&volume);
    EXPECT_EQ(-10000, volume);
    EXPECT_EQ(-500, theApp.volume);
    theApp.bMute = FALSE;
}

namespace {

// Presses a key as the keyboard would deliver it to the focused window, then runs the
// program's own loop for a while.
void PressKey(HACCEL accelerators, WORD key, DWORD settleMs = 150) {
    HWND target = GetFocus() ? GetFocus() : theApp.mainWindow;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < settleMs) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchProgramMessage(accelerators, message);
        Sleep(5);
    }
}

}  // namespace

TEST_F(PlayerTest, TheKeysDriveThePlayerThroughTheProgramsLoop) {
    HACCEL accelerators = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    ASSERT_TRUE(accelerators);
    theApp.OpenFile(CopyFixture(L"cbr128.mp3", L"keys.mp3").c_str());
    ASSERT_EQ(Playing, theApp.playState);
    PressKey(accelerators, VK_UP, 600);
    PressKey(accelerators, VK_UP, 50);
    ASSERT_NE(-1, theApp.pointA);
    ASSERT_NE(-1, theApp.pointB);
    EXPECT_LE(theApp.pointB - theApp.pointA, 1000);
    int highest = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 1500;) {
        PumpMessages(10);
        int position = theApp.graph->GetPositionMs();
        EXPECT_GE(position, theApp.pointA - 30);
        highest = std::max(highest, position);
    }
    EXPECT_LE(highest, theApp.pointB + 250) << "playback left the marked stretch";
    PressKey(accelerators, VK_DOWN);
    EXPECT_EQ(Paused, theApp.playState);
    PressKey(accelerators, VK_DOWN);
    EXPECT_EQ(Playing, theApp.playState);
    PressKey(accelerators, VK_UP);
    EXPECT_EQ(-1, theApp.pointA);
    PressKey(accelerators, VK_END);
    PressKey(accelerators, VK_HOME);
    EXPECT_LT(theApp.graph->GetPositionMs(), 1000);
    PressKey(accelerators, VK_F4);
    EXPECT_EQ(Stopped, theApp.playState);
    EXPECT_EQ(L"已停止播放", StatusText(0));
}
