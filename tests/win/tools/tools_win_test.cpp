// mp3splt.exe and mp3val.exe started the way Clipvane starts them (CreateProcessW, hidden,
// the quoted command lines), on files in a folder named 中文目录.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "mp3/mp3.h"
#include "tests/fixtures/fixture_path.h"

namespace {

constexpr DWORD kToolTimeoutMs = 60000;

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::vector<uint8_t> ReadAll(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Starts a command line as the program does (hidden window, no inheritance) and waits.
DWORD RunHidden(const std::wstring& commandLine) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFE;
    if (WaitForSingleObject(process.hProcess, kToolTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

struct Mp3Facts {
    bool ok = false;
    uint64_t frames = 0;
    uint64_t skipped = 0;
    std::optional<uint32_t> xingFrames;
    int64_t playedSamples = 0;  // by a gapless player: the LAME delay and padding left out
};

Mp3Facts Examine(const std::wstring& path) {
    Mp3Facts facts;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return facts;
    mp3::FileSource source(file);
    mp3::AnalyzeResult analysis = mp3::AnalyzeStream(source);
    if (analysis.ok()) {
        const mp3::StreamLayout& layout = analysis.layout;
        if (layout.info && layout.info->xing) facts.xingFrames = layout.info->xing->frames;
        mp3::FrameScanner scanner(source, layout.firstAudioFrameOffset, layout.audioEnd);
        mp3::ScanEvent event;
        while (scanner.Next(event)) {
            if (event.kind == mp3::ScanEvent::Kind::Frame)
                ++facts.frames;
            else
                facts.skipped += event.size;
        }
        facts.playedSamples = int64_t(facts.frames) * layout.firstHeader.SamplesPerFrame();
        if (layout.info && layout.info->lame)
            facts.playedSamples -= layout.info->lame->encoderDelay + layout.info->lame->encoderPadding;
        facts.ok = true;
    }
    fclose(file);
    return facts;
}

class ChineseFolder : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        base_ = std::wstring(temp) + L"clipvane-tools-" + std::to_wstring(GetCurrentProcessId());
        folder_ = base_ + L"\\中文目录";
        CreateDirectoryW(base_.c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        splitter_ = ModuleFolder() + L"\\mp3splt.exe";
        repairTool_ = ModuleFolder() + L"\\mp3val.exe";
        ASSERT_TRUE(Exists(splitter_));
        ASSERT_TRUE(Exists(repairTool_));
    }
    void TearDown() override {
        for (const std::wstring& name : Names(folder_)) DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
        RemoveDirectoryW(base_.c_str());
    }

    std::wstring base_;
    std::wstring folder_;
    std::wstring splitter_;
    std::wstring repairTool_;
};

TEST_F(ChineseFolder, SplitterCutsInBothModes) {
    std::wstring input = folder_ + L"\\测试.mp3";
    ASSERT_TRUE(CopyFileW(FixturePath(L"cbr128.mp3").c_str(), input.c_str(), FALSE));
    std::wstring frameCut = Quoted(splitter_) + L" " + Quoted(input) + L" 0.1.0 0.3.50 -d " + Quoted(folder_) +
                            L" -o " + Quoted(L"剪切") + L" -f";
    ASSERT_EQ(RunHidden(frameCut), 0u);
    std::wstring estimateCut = Quoted(splitter_) + L" " + Quoted(input) + L" 0.1.0 0.3.50 -d " + Quoted(folder_) +
                               L" -o " + Quoted(L"估计.片段");
    ASSERT_EQ(RunHidden(estimateCut), 0u);

    // 2.5 s at 44.1 kHz, to the sample (95.7 frames of 1152 samples).
    Mp3Facts exact = Examine(folder_ + L"\\剪切.mp3");
    ASSERT_TRUE(exact.ok);
    EXPECT_EQ(exact.playedSamples, 110250);
    EXPECT_EQ(exact.skipped, 0u);
    ASSERT_TRUE(exact.xingFrames.has_value());
    EXPECT_EQ(*exact.xingFrames, exact.frames);
    Mp3Facts estimate = Examine(folder_ + L"\\估计.片段.mp3");
    ASSERT_TRUE(estimate.ok);
    EXPECT_NEAR(static_cast<double>(estimate.frames), 95.7, 20.0);
    EXPECT_EQ(Names(folder_).size(), 3u) << "a temporary file was left behind";
}

// The program asks before it lets the splitter replace a file; a read-only one included.
TEST_F(ChineseFolder, SplitterReplacesAReadOnlyOutput) {
    std::wstring input = folder_ + L"\\测试.mp3";
    ASSERT_TRUE(CopyFileW(FixturePath(L"cbr128.mp3").c_str(), input.c_str(), FALSE));
    std::wstring output = folder_ + L"\\旧.mp3";
    ASSERT_TRUE(WriteAll(output, std::vector<uint8_t>(500, 0x33)));
    ASSERT_TRUE(SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring command = Quoted(splitter_) + L" " + Quoted(input) + L" 0.0.0 0.1.0 -d " + Quoted(folder_) + L" -o " +
                           Quoted(L"旧") + L" -f";
    EXPECT_EQ(RunHidden(command), 0u);
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    Mp3Facts facts = Examine(output);
    ASSERT_TRUE(facts.ok);
    // 0-1 s of the player's timeline; a gapless player never plays the source's first
    // 576 + 529 samples (encoder delay and decoder delay), so the clip holds 44100 - 1105.
    EXPECT_EQ(facts.playedSamples, 42995);
    EXPECT_EQ(Names(folder_).size(), 2u);
}

// The program passes a bare drive ("C:") for a file in a drive's root folder.
TEST_F(ChineseFolder, SplitterWritesToTheRootOfABareDrive) {
    std::wstring input = folder_ + L"\\测试.mp3";
    ASSERT_TRUE(CopyFileW(FixturePath(L"vbr.mp3").c_str(), input.c_str(), FALSE));
    std::wstring name = L"根目录剪切" + std::to_wstring(GetCurrentProcessId());
    std::wstring command =
        Quoted(splitter_) + L" " + Quoted(input) + L" 0.0.50 0.2.0 -d \"C:\" -o " + Quoted(name) + L" -f";
    ASSERT_EQ(RunHidden(command), 0u);
    std::wstring output = L"C:\\" + name + L".mp3";
    Mp3Facts facts = Examine(output);
    DeleteFileW(output.c_str());
    ASSERT_TRUE(facts.ok);
    EXPECT_GT(facts.frames, 50u);
}

TEST_F(ChineseFolder, RepairToolFixesInPlaceAndKeepsABackup) {
    std::vector<uint8_t> damaged = ReadAll(FixturePath(L"cbr128.mp3"));
    ASSERT_GT(damaged.size(), 10000u);
    const std::vector<uint8_t> original = damaged;
    damaged.insert(damaged.begin(), 1234, 0x20);  // garbage before the first frame
    std::wstring file = folder_ + L"\\损坏.mp3";
    ASSERT_TRUE(WriteAll(file, damaged));

    std::wstring command = Quoted(repairTool_) + L" -f " + Quoted(file);
    EXPECT_EQ(RunHidden(command), 1u);
    EXPECT_EQ(ReadAll(file + L".bak"), damaged);
    std::vector<uint8_t> repaired = ReadAll(file);
    EXPECT_EQ(repaired, original);
    Mp3Facts facts = Examine(file);
    ASSERT_TRUE(facts.ok);
    EXPECT_EQ(facts.skipped, 0u);

    EXPECT_EQ(RunHidden(command), 0u);
    EXPECT_EQ(ReadAll(file), repaired);
    EXPECT_EQ(Names(folder_).size(), 2u);
}

TEST_F(ChineseFolder, ToolsRefuseAMissingFile) {
    std::wstring missing = folder_ + L"\\不存在.mp3";
    EXPECT_EQ(RunHidden(Quoted(repairTool_) + L" -f " + Quoted(missing)), 2u);
    EXPECT_EQ(
        RunHidden(Quoted(splitter_) + L" " + Quoted(missing) + L" 0.0.0 0.1.0 -d " + Quoted(folder_) + L" -o x -f"),
        2u);
    EXPECT_TRUE(Names(folder_).empty());
}

}  // namespace
