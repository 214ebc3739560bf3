// Cases that need a process of their own: a machine without an audio device, and a program
// folder without the parser filter. The test program starts a copy of itself with a gtest
// filter that selects one ChildReport case; that case measures and reports a number (exit
// code or result file), and the parent checks it. Run on their own, the ChildReport cases
// skip.
#include <shlwapi.h>

#include <fstream>
#include <vector>

#include "tests/win/playback/graph_tests.h"

namespace {

const wchar_t reportVariable[] = L"CLIPVANE_PLAYBACK_REPORT";
const wchar_t reportByExitCode[] = L"exit";
const wchar_t alsaVariable[] = L"ALSA_CONFIG_PATH";
const wchar_t parserFile[] = L"mp3parser.ax";
constexpr DWORD childTimeoutMs = 180000;

// Child codes. Renderer: base plus flags for what went wrong. Filter check: base plus result.
constexpr DWORD rendererReportBase = 64;  // clear of the flag bits
constexpr DWORD rendererFound = 1;
constexpr DWORD openSucceeded = 2;
constexpr DWORD objectNotEmpty = 4;
constexpr DWORD filterCheckReportBase = 200;

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? value : L"";
}

// Ends the child with `code`, first writing it to the result file when one was named.
[[noreturn]] void Report(DWORD code) {
    std::wstring target = Variable(reportVariable);
    if (target != reportByExitCode) {
        std::ofstream out(Narrow(target).c_str());
        out << code << "\n";
    }
    ExitProcess(code);
}

// This process's environment block without `removed` and with `added` (NAME=value).
std::vector<wchar_t> EnvironmentWith(const wchar_t* removed, const std::wstring& added) {
    std::vector<wchar_t> block;
    wchar_t* strings = GetEnvironmentStringsW();
    size_t removedLength = wcslen(removed);
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, removed, removedLength) == 0 && entry[removedLength] == L'=') continue;
        block.insert(block.end(), entry, entry + wcslen(entry) + 1);
    }
    FreeEnvironmentStringsW(strings);
    block.insert(block.end(), added.begin(), added.end());
    block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

std::wstring ThisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
    return path;
}

// Starts `commandLine` with `environment` and waits for its exit code (nullopt: no start, or
// no end within the time limit, after which it is ended).
std::optional<DWORD> RunForExitCode(std::wstring commandLine, std::vector<wchar_t>& environment) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), nullptr, &startup, &process))
        return std::nullopt;
    CloseHandle(process.hThread);
    std::optional<DWORD> result;
    if (WaitForSingleObject(process.hProcess, childTimeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) result = code;
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hProcess);
    return result;
}

std::optional<DWORD> ReadReport(const std::wstring& file) {
    std::ifstream in(Narrow(file).c_str());
    DWORD code = 0;
    if (in >> code) return code;
    return std::nullopt;
}

// Runs this program's ChildReport.AudioRenderer case with no ALSA configuration, which is how
// this machine has no audio device. Under Wine a Windows child takes its Unix environment
// (the one ALSA reads) from its parent, whatever block it is given; a Unix program however
// gets the block. So under Wine the child is started through env(1), which then starts Wine
// on the test program with the reduced environment; that path gives no process handle, so
// the child reports through a file.
std::optional<DWORD> RunRendererChild() {
    std::wstring folder = MakeTempFolder(L"playback-renderer");
    if (folder.empty()) return std::nullopt;
    std::wstring resultFile = folder + L"\\result.txt";
    std::wstring program = L"\"" + ThisProgram() + L"\" --gtest_filter=ChildReport.AudioRenderer";
    std::vector<wchar_t> environment = EnvironmentWith(alsaVariable, std::wstring(reportVariable) + L"=" + resultFile);
    if (!RunningUnderWine()) return RunForExitCode(program, environment);

    std::wstring loader = Variable(L"WINELOADER");
    if (loader.empty()) loader = sizeof(void*) == 8 ? L"/usr/lib/wine/wine64" : L"/usr/lib/wine/wine";
    std::wstring commandLine = L"Z:\\usr\\bin\\env -u " + std::wstring(alsaVariable) + L" " + reportVariable + L"=" +
                               resultFile + L" " + loader + L" " + program;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), nullptr, &startup, &process))
        return std::nullopt;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    std::optional<DWORD> code;
    PumpUntil([&] { return (code = ReadReport(resultFile)).has_value(); }, childTimeoutMs);
    return code;
}

// Copies this program alone (and the parser filter when asked) into a fresh folder, runs the
// copy's ChildReport.CheckFilters case there and returns its exit code.
std::optional<DWORD> RunFilterCheckInFolder(bool withParser) {
    std::wstring folder = MakeTempFolder(withParser ? L"playback-with-parser" : L"playback-no-parser");
    if (folder.empty()) return std::nullopt;
    std::wstring copy = folder + L"\\" + PathFindFileNameW(ThisProgram().c_str());
    if (!CopyFileW(ThisProgram().c_str(), copy.c_str(), FALSE)) return std::nullopt;
    if (withParser) {
        std::wstring parser = ProgramFolder() + L"\\" + parserFile;
        if (!CopyFileW(parser.c_str(), (folder + L"\\" + parserFile).c_str(), FALSE)) return std::nullopt;
    }
    std::vector<wchar_t> environment =
        EnvironmentWith(reportVariable, std::wstring(reportVariable) + L"=" + reportByExitCode);
    return RunForExitCode(L"\"" + copy + L"\" --gtest_filter=ChildReport.CheckFilters", environment);
}

bool IsChild() { return !Variable(reportVariable).empty(); }

// --- The child side ---------------------------------------------------------------------

TEST(ChildReport, AudioRenderer) {
    if (!IsChild()) GTEST_SKIP() << "runs only as the child of FindAudioRendererWithoutDevice";
    DWORD code = rendererReportBase;
    IBaseFilter* renderer = FindAudioRenderer();
    if (renderer) {
        code |= rendererFound;
        renderer->Release();
    }
    PlaybackGraph graph;
    if (SUCCEEDED(graph.Open(FixturePath(L"cbr128.mp3").c_str(), Mpeg1Splitter))) code |= openSucceeded;
    if (graph.built || graph.graphBuilder || graph.sourceFilter || graph.splitterFilter || graph.decoderFilter) {
        code |= objectNotEmpty;
        graph.Stop();
        graph.Close();
    }
    Report(code);
}

TEST(ChildReport, CheckFilters) {
    if (!IsChild()) GTEST_SKIP() << "runs only as the child of the CheckFilters cases";
    Report(filterCheckReportBase + PlaybackGraph::CheckFilters());
}

// --- The parent side --------------------------------------------------------------------

TEST(FindAudioRendererWithoutDevice, ReturnsNullAndOpenFails) {
    std::optional<DWORD> code = RunRendererChild();
    ASSERT_TRUE(code) << "the child did not report";
    EXPECT_EQ(*code & ~(rendererFound | openSucceeded | objectNotEmpty), rendererReportBase) << *code;
    EXPECT_FALSE(*code & rendererFound) << "a renderer was found with no audio device";
    EXPECT_FALSE(*code & openSucceeded) << "Open succeeded with no renderer";
    EXPECT_FALSE(*code & objectNotEmpty) << "the failed Open left references behind";
}

TEST(CheckFilters, MissingWhenTheParserIsNotBesideTheProgram) {
    std::optional<DWORD> code = RunFilterCheckInFolder(false);
    ASSERT_TRUE(code) << "the child did not run";
    EXPECT_EQ(static_cast<int>(*code) - static_cast<int>(filterCheckReportBase), Missing);
}

TEST(CheckFilters, OkWithTheParserBesideTheProgram) {
    ASSERT_TRUE(FileExists(ProgramFolder() + L"\\" + parserFile)) << "the parser filter is not built";
    std::optional<DWORD> code = RunFilterCheckInFolder(true);
    ASSERT_TRUE(code) << "the child did not run";
    EXPECT_EQ(static_cast<int>(*code) - static_cast<int>(filterCheckReportBase), Ok);
    // And in this process, in the build's program folder.
    EXPECT_EQ(PlaybackGraph::CheckFilters(), Ok);
}

}  // namespace
