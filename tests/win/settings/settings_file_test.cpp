// options.ini: defaults, range rules, self-repair and rewriting, against real files in a private
// user profile.
#include "app/app_state.h"
#include "resource.h"
#include "settings/data_folder.h"
#include "tests/win/settings/settings_test_helpers.h"
#include "tests/win/support/test_support.h"

#include <shlwapi.h>
#include <mutex>

#include <gtest/gtest.h>

namespace {

constexpr size_t oneMiB = 1024 * 1024;

struct LoadedSettings {
    int bMute;
    int volume;
    int eachJump;
    int fineTuning;
};

void ScrambleSettings() {
    theApp.bMute = 77;
    theApp.volume = 77;
    theApp.eachJump = 77;
    theApp.fineTuning = 77;
}

void ExpectLoaded(const LoadedSettings& expected, const char* context) {
    SCOPED_TRACE(context);
    EXPECT_EQ(expected.bMute, theApp.bMute);
    EXPECT_EQ(expected.volume, theApp.volume);
    EXPECT_EQ(expected.eachJump, theApp.eachJump);
    EXPECT_EQ(expected.fineTuning, theApp.fineTuning);
}

constexpr LoadedSettings defaults = {0, -500, 3, 200};

// Loads or saves with a watcher that records any message box, with its icon in `iconStyle`, and
// presses its OK button.
std::vector<ShownDialog> RecordingBoxes(void (AppState::*operation)(HWND)) {
    std::vector<UINT> icons;
    std::mutex iconsMutex;
    DialogAnswerer answerer;
    for (int i = 0; i < 3; ++i) {
        answerer.Queue([&](HWND box) {
            std::lock_guard<std::mutex> lock(iconsMutex);
            icons.push_back(MessageBoxIcon(box));
            PressDialogButton(box, IDOK);
        });
    }
    (theApp.*operation)(nullptr);
    PumpMessages(100);
    std::vector<ShownDialog> shown = answerer.Shown();
    std::lock_guard<std::mutex> lock(iconsMutex);
    for (size_t i = 0; i < shown.size() && i < icons.size(); ++i) shown[i].iconStyle = icons[i];
    return shown;
}

std::vector<ShownDialog> LoadRecordingBoxes() { return RecordingBoxes(&AppState::LoadSettings); }
std::vector<ShownDialog> SaveRecordingBoxes() { return RecordingBoxes(&AppState::SaveSettings); }

void MakeDataFolder(const ScopedUserProfile& profile) { CreateDirectoryChain(profile.SettingsFile().c_str(), FALSE); }

class SettingsFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        theApp.hInstance = GetModuleHandleW(nullptr);
        theApp.LoadStrings();
    }
};

TEST_F(SettingsFile, FirstRunLoadsDefaultsQuietlyAndFirstSaveWritesTheFiveLines) {
    ScopedUserProfile profile;
    ScrambleSettings();
    EXPECT_TRUE(LoadRecordingBoxes().empty());
    ExpectLoaded(defaults, "first load");
    EXPECT_FALSE(PathFileExistsW(profile.DataFolder().c_str())) << "loading must not create anything";

    EXPECT_TRUE(SaveRecordingBoxes().empty());
    EXPECT_EQ(defaultSettingsFile, ReadWholeFile(profile.SettingsFile()));
}

TEST_F(SettingsFile, SavedValuesComeBackOnTheNextLoad) {
    ScopedUserProfile profile;
    theApp.bMute = 1;
    theApp.volume = -10000;
    theApp.eachJump = 9;
    theApp.fineTuning = 30;
    theApp.SaveSettings(nullptr);
    EXPECT_EQ("[options]\r\nbMute=1\r\nvolume=0\r\neachJump=9\r\nfineTuning=30\r\n",
              ReadWholeFile(profile.SettingsFile()));
    ScrambleSettings();
    theApp.LoadSettings(nullptr);
    ExpectLoaded({1, -10000, 9, 30}, "reloaded");
}

struct RangeCase {
    const char* keys;
    LoadedSettings expected;
};

TEST_F(SettingsFile, ValuesOutsideTheirRangesAreBroughtIntoRange) {
    const RangeCase cases[] = {
        {"volume=0", {0, -10000, 3, 200}},
        {"volume=10000", {0, 0, 3, 200}},
        {"volume=5000", {0, -5000, 3, 200}},
        {"volume=10001", {0, -500, 3, 200}},
        {"volume=-1", {0, -500, 3, 200}},
        {"volume=4294967295", {0, -500, 3, 200}},
        {"volume=2147483653", {0, -500, 3, 200}},
        {"eachJump=0", {0, -500, 1, 200}},
        {"eachJump=12", {0, -500, 9, 200}},
        {"eachJump=1", {0, -500, 1, 200}},
        {"eachJump=9", {0, -500, 9, 200}},
        {"eachJump=abc", {0, -500, 1, 200}},
        {"fineTuning=10", {0, -500, 3, 30}},
        {"fineTuning=29", {0, -500, 3, 30}},
        {"fineTuning=30", {0, -500, 3, 30}},
        {"fineTuning=900", {0, -500, 3, 900}},
        {"fineTuning=901", {0, -500, 3, 900}},
        {"fineTuning=1000", {0, -500, 3, 900}},
        {"bMute=1\r\nvolume=7000\r\neachJump=5\r\nfineTuning=450", {1, -3000, 5, 450}},
        {"", defaults},
    };
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    for (const RangeCase& c : cases) {
        ASSERT_TRUE(WriteWholeFile(profile.SettingsFile(), std::string("[options]\r\n") + c.keys + "\r\n"));
        ScrambleSettings();
        EXPECT_TRUE(LoadRecordingBoxes().empty()) << c.keys;
        ExpectLoaded(c.expected, c.keys);
    }
}

// A file whose keys are followed by a long comment, padded to exactly `size` bytes.
std::string PaddedSettingsFile(size_t size) {
    std::string bytes = "[options]\r\neachJump=7\r\nfineTuning=600\r\n";
    const std::string line = ";" + std::string(1021, 'x') + "\r\n";
    while (bytes.size() + line.size() <= size) bytes += line;
    bytes += std::string(size - bytes.size(), ' ');
    return bytes;
}

TEST_F(SettingsFile, AFileOfOneMebibyteOrMoreIsDeletedAndASmallerOneIsRead) {
    struct SizeCase {
        size_t size;
        bool kept;
    };
    const SizeCase cases[] = {{oneMiB - 1, true}, {oneMiB, false}, {2 * oneMiB, false}};
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.size);
        std::string bytes = PaddedSettingsFile(c.size);
        ASSERT_EQ(c.size, bytes.size());
        ASSERT_TRUE(WriteWholeFile(profile.SettingsFile(), bytes));
        SetFileAttributesW(profile.SettingsFile().c_str(), FILE_ATTRIBUTE_READONLY);
        ScrambleSettings();
        EXPECT_TRUE(LoadRecordingBoxes().empty());
        EXPECT_EQ(c.kept, PathFileExistsW(profile.SettingsFile().c_str()) != FALSE);
        ExpectLoaded(c.kept ? LoadedSettings{0, -500, 7, 600} : defaults, "after load");
        SetFileAttributesW(profile.SettingsFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(SettingsFile, AReadOnlySettingsFileIsMadeWritableAndRewritten) {
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    ASSERT_TRUE(WriteWholeFile(profile.SettingsFile(), "[options]\r\neachJump=8\r\n"));
    SetFileAttributesW(profile.SettingsFile().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    theApp.LoadSettings(nullptr);
    EXPECT_EQ(8, theApp.eachJump);
    theApp.eachJump = 4;
    EXPECT_TRUE(SaveRecordingBoxes().empty());
    EXPECT_EQ("[options]\r\nbMute=0\r\nvolume=9500\r\neachJump=4\r\nfineTuning=200\r\n",
              ReadWholeFile(profile.SettingsFile()));
    EXPECT_EQ(0u, GetFileAttributesW(profile.SettingsFile().c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(SettingsFile, ASaveKeepsOnlyTheFourKeys) {
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    ASSERT_TRUE(WriteWholeFile(profile.SettingsFile(),
                               "[recent]\r\nfile=C:\\a.mp3\r\n[options]\r\nbMute=0\r\nlegacy=1\r\n"
                               "volume=9500\r\neachJump=3\r\nfineTuning=200\r\n"));
    theApp.LoadSettings(nullptr);
    theApp.SaveSettings(nullptr);
    EXPECT_EQ(defaultSettingsFile, ReadWholeFile(profile.SettingsFile()));
}

TEST_F(SettingsFile, ADirectoryNamedLikeTheFileLoadsDefaultsAndIsReplacedByTheFile) {
    ScopedUserProfile profile;
    std::wstring nested = Join(profile.SettingsFile(), L"inner");
    CreateDirectoryChain(nested.c_str(), TRUE);
    ASSERT_TRUE(WriteWholeFile(Join(nested, L"note.txt"), "x"));
    SetFileAttributesW(Join(nested, L"note.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ScrambleSettings();
    EXPECT_TRUE(LoadRecordingBoxes().empty());
    ExpectLoaded(defaults, "options.ini is a directory");

    EXPECT_TRUE(SaveRecordingBoxes().empty());
    EXPECT_FALSE(IsDirectory(profile.SettingsFile()));
    EXPECT_EQ(defaultSettingsFile, ReadWholeFile(profile.SettingsFile()));
}

TEST_F(SettingsFile, APlainFileInPlaceOfTheDataFolderIsReplacedByTheFolder) {
    ScopedUserProfile profile;
    CreateDirectoryChain(profile.DataFolder().c_str(), FALSE);
    ASSERT_TRUE(WriteWholeFile(profile.DataFolder(), "not a folder"));
    SetFileAttributesW(profile.DataFolder().c_str(), FILE_ATTRIBUTE_READONLY);
    ScrambleSettings();
    EXPECT_TRUE(LoadRecordingBoxes().empty());
    ExpectLoaded(defaults, "data folder is a file");

    EXPECT_TRUE(SaveRecordingBoxes().empty());
    EXPECT_TRUE(IsDirectory(profile.DataFolder()));
    EXPECT_EQ(defaultSettingsFile, ReadWholeFile(profile.SettingsFile()));
}

// Held open without sharing, the file can be neither read nor emptied by anyone else.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p; ++p) wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return wide;
}

TEST_F(SettingsFile, AnUnreadableSettingsFileIsReportedWithItsPathAndTheReason) {
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    ASSERT_TRUE(WriteWholeFile(profile.SettingsFile(), "[options]\r\neachJump=6\r\n"));
    std::vector<ShownDialog> shown;
    {
        HeldFile held(profile.SettingsFile());
        ASSERT_TRUE(held.Held());
        FILE* probe = _wfopen(profile.SettingsFile().c_str(), L"rb");
        ASSERT_EQ(nullptr, probe) << "a file held without sharing should not open";
        ScrambleSettings();
        shown = LoadRecordingBoxes();
    }
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(CachedString(IDS_CAPTION), shown[0].caption);
    EXPECT_EQ(L"读文件失败：\n" + profile.SettingsFile() + L"\n\n" + Widen(strerror(EACCES)), shown[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), shown[0].iconStyle);
    // The keys are still read; what could not be read takes its default.
    ExpectLoaded(defaults, "unreadable file");
}

TEST_F(SettingsFile, AMissingSettingsFileIsNotReported) {
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    EXPECT_TRUE(LoadRecordingBoxes().empty());
}

TEST_F(SettingsFile, ASettingsFileThatCannotBeEmptiedIsReported) {
    ScopedUserProfile profile;
    MakeDataFolder(profile);
    ASSERT_TRUE(WriteWholeFile(profile.SettingsFile(), "kept"));
    std::vector<ShownDialog> shown;
    {
        HeldFile held(profile.SettingsFile());
        ASSERT_TRUE(held.Held());
        shown = SaveRecordingBoxes();
    }
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), shown[0].iconStyle);
    EXPECT_EQ(L"写文件失败：\n" + profile.SettingsFile() + L"\n\n" + Widen(strerror(EACCES)), shown[0].text);
    EXPECT_EQ("kept", ReadWholeFile(profile.SettingsFile()));
}

// The profile path is UTF-16 all the way: a user name outside the ANSI code page still works.
TEST_F(SettingsFile, AProfileWithAChineseNameRoundTripsWithoutMessages) {
    std::wstring base = MakeTempFolder(L"profile");
    ASSERT_FALSE(base.empty());
    ScopedUserProfile profile(Join(base, L"用户张三"));
    ASSERT_TRUE(IsDirectory(profile.Folder()));
    theApp.eachJump = 6;
    theApp.fineTuning = 350;
    EXPECT_TRUE(SaveRecordingBoxes().empty());
    ScrambleSettings();
    EXPECT_TRUE(LoadRecordingBoxes().empty());
    ExpectLoaded({0, -500, 6, 350}, "Chinese profile");
    EXPECT_EQ("[options]\r\nbMute=0\r\nvolume=9500\r\neachJump=6\r\nfineTuning=350\r\n",
              ReadWholeFile(profile.SettingsFile()));
    RemoveDirectoryW(base.c_str());
}

}  // namespace
