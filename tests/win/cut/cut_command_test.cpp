// The cut command from the marked stretch to the file on disk: a real loaded graph, the real
// save dialog, the real splitter.
#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"
#include "cut/cut.h"
#include "resource.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

namespace {

constexpr DWORD cutTimeoutMs = 60000;

using Reply = DialogAnswerer::Reply;

class CutCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = MakeTempFolder(L"cut-command");
        loadedOk_ = LoadCopyOfFixture(L"cbr128.mp3", folder_, L"source.mp3", source_);
        sourceBytes_ = ReadAllBytes(source_);
    }
    static void TearDownTestSuite() {
        theApp.CloseFile();
        SetCurrentDirectoryW(ProgramFolder().c_str());  // the save dialog moved it into folder_
        RemoveFolderTree(folder_);
    }
    void SetUp() override {
        ASSERT_TRUE(loadedOk_) << "the fixture could not be loaded";
        theApp.pointA = 2000;
        theApp.pointB = 5000;
        EnsurePlaying();
    }
    // The loaded file must come through every test untouched.
    void TearDown() override { EXPECT_EQ(ReadAllBytes(source_), sourceBytes_) << "the loaded file changed"; }

    // A full cut into `output`: save dialog, locating mode, progress until it ends.
    CutAnswers CutTo(const std::wstring& chosen, bool chooseBitrate = false, std::vector<Reply> before = {}) {
        CutAnswers answers;
        std::vector<Reply> replies = {DialogAnswerer::ChooseFile(chosen)};
        replies.insert(replies.end(), before.begin(), before.end());
        replies.push_back(AnswerMode(answers.mode, chooseBitrate));
        replies.push_back(AnswerProgress(answers.progress, cutTimeoutMs));
        RunCut(answerer_, replies);
        return answers;
    }

    // The written file holds B - A of audio, to within one frame.
    void ExpectCutOf(const std::wstring& output, int lengthMs) {
        Mp3Facts facts = ReadMp3Facts(output);
        ASSERT_TRUE(facts.ok) << "no MP3 audio in the output";
        EXPECT_LE(std::fabs(double(facts.durationMs) - lengthMs), facts.frameMs + 1.0)
            << "duration " << facts.durationMs << " ms for a stretch of " << lengthMs << " ms";
    }

    std::vector<ShownDialog> Shown() { return answerer_.Shown(); }

    static std::wstring folder_;
    static std::wstring source_;
    static std::string sourceBytes_;
    static bool loadedOk_;
    DialogAnswerer answerer_;
};

std::wstring CutCommand::folder_;
std::wstring CutCommand::source_;
std::string CutCommand::sourceBytes_;
bool CutCommand::loadedOk_ = false;

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

TEST_F(CutCommand, CutsTheStretchIntoAChineseFolderAndLeavesPlaybackPaused) {
    std::wstring outputFolder = folder_ + L"\\剪切输出";
    ASSERT_TRUE(CreateDirectoryW(outputFolder.c_str(), nullptr));
    std::wstring output = outputFolder + L"\\片段.mp3";

    CutAnswers answers = CutTo(output);
    ASSERT_TRUE(answers.mode->appeared);
    EXPECT_TRUE(answers.mode->frameCheckedAtOpen);
    EXPECT_TRUE(useFrameMode);
    ASSERT_TRUE(answers.progress->appeared);
    EXPECT_EQ(answers.progress->outputPath, output);
    EXPECT_EQ(answers.progress->finalStatus, Text(IDS_CUT_DONE));
    EXPECT_FALSE(answers.progress->animationVisible);
    ExpectCutOf(output, 3000);
    EXPECT_EQ(theApp.playState, Paused);
    EXPECT_EQ(theApp.pointA, 2000);
    EXPECT_EQ(theApp.pointB, 5000);
}

TEST_F(CutCommand, BitrateModeIsUsedOnceAndFrameModeIsOfferedAgain) {
    std::wstring first = folder_ + L"\\bitrate.mp3";
    CutAnswers answers = CutTo(first, true);
    EXPECT_TRUE(answers.mode->frameCheckedAtOpen);
    EXPECT_FALSE(useFrameMode);
    EXPECT_EQ(answers.progress->finalStatus, Text(IDS_CUT_DONE));
    ExpectCutOf(first, 3000);

    EnsurePlaying();
    std::wstring second = folder_ + L"\\frame.mp3";
    answers = CutTo(second);
    EXPECT_TRUE(answers.mode->frameCheckedAtOpen);
    EXPECT_TRUE(useFrameMode);
    ExpectCutOf(second, 3000);
}

TEST_F(CutCommand, OtherExtensionsGetMp3AppendedWhileMp3InAnyCaseIsKept) {
    const struct {
        const wchar_t* chosen;
        const wchar_t* written;
    } cases[] = {
        {L"clip.wav", L"clip.wav.mp3"},
        {L"Take.MP3", L"Take.MP3"},
        {L"noext", L"noext.mp3"},
    };
    for (const auto& c : cases) {
        std::wstring chosen = folder_ + L"\\" + c.chosen;
        std::wstring written = folder_ + L"\\" + c.written;
        CutAnswers answers = CutTo(chosen);
        EXPECT_EQ(answers.progress->outputPath, written) << c.chosen;
        EXPECT_EQ(answers.progress->finalStatus, Text(IDS_CUT_DONE)) << c.chosen;
        EXPECT_TRUE(FileExists(written)) << c.written;
        if (std::wstring(c.chosen) != c.written) {
            EXPECT_FALSE(FileExists(chosen)) << c.chosen;
        }
        EnsurePlaying();
    }
}

TEST_F(CutCommand, UnsetPointsDoNothing) {
    theApp.pointB = -1;
    RunCut(answerer_, {});
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(theApp.playState, Playing);
}

TEST_F(CutCommand, StretchBelowTheMinimumIsRefusedAfterPausing) {
    theApp.pointA = 1000;
    theApp.pointB = 1199;
    auto icon = std::make_shared<UINT>(0);
    RunCut(answerer_, {RecordIcon(icon, DialogAnswerer::PressButton(IDOK))});
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"ab点间隔不能小于200毫秒");
    EXPECT_EQ(shown[0].caption, Text(IDS_CAPTION));
    EXPECT_EQ(*icon, UINT(MB_ICONERROR));
    EXPECT_EQ(theApp.playState, Paused);
}

TEST_F(CutCommand, StretchOfExactlyTheMinimumReachesTheSaveDialog) {
    theApp.pointA = 1000;
    theApp.pointB = 1200;
    RunCut(answerer_, {DialogAnswerer::PressButton(IDCANCEL)});
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 1u) << "a cancelled save dialog must end the command silently";
    EXPECT_NE(shown[0].caption, Text(IDS_CAPTION));
    EXPECT_EQ(theApp.playState, Paused);
}

TEST_F(CutCommand, TheLoadedFileInAnotherLetterCaseIsRefused) {
    auto icon = std::make_shared<UINT>(0);
    RunCut(answerer_,
           {DialogAnswerer::ChooseFile(Upper(source_)), RecordIcon(icon, DialogAnswerer::PressButton(IDOK))});
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, L"请不要自我覆盖");
    EXPECT_EQ(*icon, UINT(MB_ICONERROR));
}

TEST_F(CutCommand, AnotherNameOfTheLoadedFileIsRefused) {
    std::wstring link = folder_ + L"\\same-file.mp3";
    if (!CreateHardLinkW(link.c_str(), source_.c_str(), nullptr)) GTEST_SKIP() << "no hard links here";
    RunCut(answerer_, {DialogAnswerer::ChooseFile(link)});
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, L"请不要自我覆盖");
    DeleteFileW(link.c_str());
}

TEST_F(CutCommand, ReplaceAnsweredNoLeavesTheOldFileAlone) {
    std::wstring old = folder_ + L"\\old.mp3";
    const std::string oldBytes = "an older file that must survive";
    ASSERT_TRUE(WriteAllBytes(old, oldBytes));
    auto icon = std::make_shared<UINT>(0);
    RunCut(answerer_, {DialogAnswerer::ChooseFile(old), RecordIcon(icon, DialogAnswerer::PressButton(IDNO))});
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, L"old.mp3 已存在。\r\n要替换它吗？");
    EXPECT_EQ(shown[1].caption, Text(IDS_CAPTION));
    EXPECT_EQ(*icon, UINT(MB_ICONQUESTION));
    EXPECT_EQ(ReadAllBytes(old), oldBytes);
}

// Agreeing to replace a file does not delete it: it stays, unchanged, until the splitter puts
// the whole new file in its place (a failed cut leaves it as it was).
TEST_F(CutCommand, ReplaceAnsweredYesReplacesTheOldFileOnlyWithTheNewOne) {
    std::wstring old = folder_ + L"\\replaced.mp3";
    ASSERT_TRUE(WriteAllBytes(old, "not audio at all"));
    auto bytesBeforeTheCut = std::make_shared<std::string>();
    CutAnswers answers;
    RunCut(answerer_, {DialogAnswerer::ChooseFile(old), DialogAnswerer::PressButton(IDYES),
                       [=](HWND dialog) {
                           *bytesBeforeTheCut = ReadAllBytes(old);
                           AnswerMode(answers.mode, false)(dialog);
                       },
                       AnswerProgress(answers.progress, cutTimeoutMs)});
    EXPECT_EQ(*bytesBeforeTheCut, "not audio at all");
    EXPECT_EQ(answers.progress->finalStatus, Text(IDS_CUT_DONE));
    ExpectCutOf(old, 3000);
}

TEST_F(CutCommand, AFileThatCannotBeWrittenIsReportedWithTheSystemsReason) {
    std::wstring locked = folder_ + L"\\locked.mp3";
    ASSERT_TRUE(WriteAllBytes(locked, "held open by another program"));
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    auto icon = std::make_shared<UINT>(0);
    RunCut(answerer_, {DialogAnswerer::ChooseFile(locked), DialogAnswerer::PressButton(IDYES),
                       RecordIcon(icon, DialogAnswerer::PressButton(IDOK))});
    CloseHandle(holder);
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 3u) << "no locating-mode dialog after the failure";
    const std::wstring& text = shown[2].text;
    EXPECT_EQ(text.find(L"文件创建失败：\r\n"), 0u) << text.c_str();
    std::string reason = strerror(EACCES);
    EXPECT_NE(text.find(std::wstring(reason.begin(), reason.end())), std::wstring::npos) << text.c_str();
    EXPECT_NE(text.find(L"（请检查您是否有目标文件夹的写入权限）"), std::wstring::npos);
    EXPECT_EQ(*icon, UINT(MB_ICONERROR));
    EXPECT_EQ(ReadAllBytes(locked), "held open by another program");
}

TEST_F(CutCommand, ANameWithNoRoomForTheExtensionIsReportedRatherThanCut) {
    // Appending ".mp3" would make the path longer than a path may be.
    const size_t chosenLength = pathUnits - 2;
    const std::wstring name = L"\\c.wav";
    std::wstring longFolder = folder_ + L"\\" + std::wstring(chosenLength - folder_.size() - 1 - name.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    std::wstring chosen = longFolder + name;
    ASSERT_EQ(chosen.size(), chosenLength);
    auto icon = std::make_shared<UINT>(0);
    RunCut(answerer_, {DialogAnswerer::ChooseFile(chosen), RecordIcon(icon, DialogAnswerer::PressButton(IDOK))});
    std::vector<ShownDialog> shown = Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text.find(L"文件创建失败：\r\n"), 0u) << shown[1].text.c_str();
    std::string reason = strerror(ENAMETOOLONG);
    EXPECT_NE(shown[1].text.find(std::wstring(reason.begin(), reason.end())), std::wstring::npos);
    EXPECT_EQ(*icon, UINT(MB_ICONERROR));
    // Nothing was written, not even under a name cut short.
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((longFolder + L"\\*.*").c_str(), &entry);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do entries += wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0;
        while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    EXPECT_EQ(entries, 0);
}

}  // namespace
