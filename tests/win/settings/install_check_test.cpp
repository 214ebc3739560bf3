// The start-up install check, run in a copy of this test program placed in a folder of its own
// (the check looks beside the running executable), and the companion libraries themselves.
#include "app/app_state.h"
#include "settings/companion_files.h"
#include "settings/data_folder.h"
#include "tests/win/settings/settings_test_helpers.h"
#include "tests/win/support/test_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

constexpr wchar_t childSwitch[] = L"--install-check-child";
constexpr DWORD childPassed = 41;
constexpr DWORD childFailed = 40;
constexpr DWORD childTimeoutMs = 60000;

bool IsInstallCheckChild() { return wcsstr(GetCommandLineW(), childSwitch) != nullptr; }

// In the copy: run the check and report its result as the exit status.
TEST(InstallCheckChild, ReportsTheCheckAsExitStatus) {
    if (!IsInstallCheckChild()) GTEST_SKIP() << "runs only in the copy started by the tests below";
    theApp.hInstance = GetModuleHandleW(nullptr);
    ExitProcess(theApp.CheckInstall() ? childPassed : childFailed);
}

std::wstring ThisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
    return path;
}

std::vector<std::wstring> CompanionNames() {
    return std::vector<std::wstring>(std::begin(companionFiles), std::end(companionFiles));
}

class InstallCheck : public ::testing::Test {
protected:
    void SetUp() override {
        if (IsInstallCheckChild()) GTEST_SKIP();
        folder_ = MakeTempFolder(L"install");
        ASSERT_FALSE(folder_.empty());
        std::vector<std::wstring> missing = CopyFiles(ProgramFolder(), folder_, CompanionNames());
        ASSERT_TRUE(missing.empty()) << "not beside the test program (are the tools and companions built?): "
                                     << testing::PrintToString(missing);
        copy_ = Join(folder_, PathFindFileNameW(ThisProgram().c_str()));
        ASSERT_TRUE(CopyFileW(ThisProgram().c_str(), copy_.c_str(), FALSE));
    }
    void TearDown() override {
        if (!folder_.empty()) DeleteTree(folder_.c_str());
    }
    void Remove(const wchar_t* name) { ASSERT_TRUE(DeleteFileW(Join(folder_, name).c_str())) << name; }

    // Runs the check in the copy; true when it passed.
    bool CheckInCopy() {
        ChildProcess child;
        std::wstring arguments = L"--gtest_filter=InstallCheckChild.* " + std::wstring(childSwitch);
        EXPECT_TRUE(child.Start(copy_, arguments, folder_));
        DWORD status = 0;
        EXPECT_TRUE(child.Wait(childTimeoutMs, &status));
        EXPECT_TRUE(status == childPassed || status == childFailed) << "exit status " << status;
        return status == childPassed;
    }

    std::wstring folder_;
    std::wstring copy_;
};

TEST_F(InstallCheck, PassesWithAllEighteenFiles) {
    EXPECT_EQ(18u, companionFileCount);
    EXPECT_TRUE(CheckInCopy());
}

TEST_F(InstallCheck, FailsWhenOnlyTheLastOneIsMissing) {
    Remove(L"zlib1.dll");
    EXPECT_FALSE(CheckInCopy());
}

TEST_F(InstallCheck, FailsWhenTheRuntimeLibraryIsMissingBesideTheProgram) {
    wchar_t systemCopy[MAX_PATH] = {};
    GetSystemDirectoryW(systemCopy, MAX_PATH);
    ASSERT_TRUE(PathFileExistsW(Join(systemCopy, L"msvcrt.dll").c_str()));
    Remove(L"msvcrt.dll");
    EXPECT_FALSE(CheckInCopy());
}

TEST_F(InstallCheck, FailsWhenAToolIsMissing) {
    Remove(L"mp3splt.exe");
    EXPECT_FALSE(CheckInCopy());
}

TEST_F(InstallCheck, ADirectoryBearingTheNameCountsAsPresent) {
    Remove(L"libogg-0.dll");
    ASSERT_TRUE(CreateDirectoryW(Join(folder_, L"libogg-0.dll").c_str(), nullptr));
    EXPECT_TRUE(CheckInCopy());
}

TEST_F(InstallCheck, NamesMatchWhateverTheirCase) {
    ASSERT_TRUE(MoveFileW(Join(folder_, L"MSVCR70.DLL").c_str(), Join(folder_, L"msvcr70.tmp").c_str()));
    ASSERT_TRUE(MoveFileW(Join(folder_, L"msvcr70.tmp").c_str(), Join(folder_, L"msvcr70.dll").c_str()));
    EXPECT_TRUE(CheckInCopy());
}

// --- the companion libraries ---

std::wstring VersionString(const std::wstring& file, const wchar_t* name) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return L"<no version resource>";
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return L"<unreadable>";
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    wchar_t* value = nullptr;
    UINT units = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &units)) return L"<absent>";
    return value;
}

// Reads the export directory's size from the PE headers of a library mapped as data.
DWORD ExportDirectorySize(const std::wstring& file, DWORD* exportedNames) {
    std::string bytes = ReadWholeFile(file);
    *exportedNames = 0;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    if (bytes.size() < sizeof(*dos) || dos->e_magic != IMAGE_DOS_SIGNATURE) return ~0u;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return ~0u;
    const IMAGE_DATA_DIRECTORY& exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exports.Size == 0) return 0;
    // Find the section holding the directory to read its name count.
    auto section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (exports.VirtualAddress >= section->VirtualAddress &&
            exports.VirtualAddress < section->VirtualAddress + section->Misc.VirtualSize) {
            DWORD offset = exports.VirtualAddress - section->VirtualAddress + section->PointerToRawData;
            *exportedNames = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(bytes.data() + offset)->NumberOfNames;
        }
    }
    return exports.Size;
}

constexpr wchar_t companionDescription[] =
    L"Clipvane companion file expected by the install check; contains no code the tools use";

std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Read from the file's bytes: asked for msvcrt.dll, MSVCR70.DLL or zlib1.dll, Wine's version
// API maps its own library of that name instead of the file, even by full path.
TEST(CompanionLibraries, EachNamesItselfAndExportsNothing) {
    for (const wchar_t* name : companionFiles) {
        std::wstring file = Join(ProgramFolder(), name);
        if (wcsstr(name, L".exe")) continue;  // the tools themselves
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        std::string bytes = ReadWholeFile(file);
        EXPECT_NE(std::string::npos, bytes.find(Utf16Bytes(companionDescription)));
        EXPECT_NE(std::string::npos, bytes.find(Utf16Bytes(std::wstring(L"OriginalFilename") + L'\0' + name)));
        DWORD names = 0;
        ExportDirectorySize(file, &names);
        EXPECT_EQ(0u, names);
    }
}

TEST(CompanionLibraries, VersionResourceReadsThroughTheSystem) {
    std::wstring file = Join(ProgramFolder(), L"libvorbis-0.dll");
    EXPECT_EQ(L"libvorbis-0.dll", VersionString(file, L"OriginalFilename"));
    EXPECT_EQ(companionDescription, VersionString(file, L"FileDescription"));
}

TEST(CompanionLibraries, AreValidLibrariesThatLoad) {
    // A name no system library bears, so the file beside the program is what gets loaded.
    std::wstring file = Join(ProgramFolder(), L"libsplt_mp3-0.dll");
    HMODULE module = LoadLibraryW(file.c_str());
    ASSERT_NE(nullptr, module) << "error " << GetLastError();
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(module, loaded, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiW(file.c_str(), loaded));
    FreeLibrary(module);
}

// This test program lies in the same folder as the runtime-named companions and imports the C
// runtime: the runtime it runs with must be the real one, with its functions.
TEST(CompanionLibraries, TheRuntimeInUseIsTheRealOne) {
    for (const wchar_t* runtime : {L"msvcrt.dll", L"msvcr70.dll"}) {
        HMODULE module = LoadLibraryW(runtime);
        ASSERT_NE(nullptr, module);
        EXPECT_NE(nullptr, GetProcAddress(module, "printf")) << "the stand-in was loaded as the runtime";
        EXPECT_NE(nullptr, GetProcAddress(module, "_wfopen"));
        FreeLibrary(module);
    }
}

}  // namespace
