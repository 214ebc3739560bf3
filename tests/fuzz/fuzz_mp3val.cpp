// The repair tool's core on any input file: a file it leaves alone is unchanged and gets no
// backup; a repaired one has its original as the backup, byte for byte, and checks clean.
#include <cstdint>

#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/tool_fuzz_support.h"
#include "tools/mp3val/repair.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) { return fuzzsupport::Initialize(*argc, *argv); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Made once: the paths and the arguments are the same in every run.
    static const std::string file = fuzzsupport::PathOf("song.mp3");
    static const std::string backupPath = file + ".bak";
    static const std::vector<std::string> fileOnly{file};
    static const std::vector<std::string> fileAndBackup{file, backupPath};
    static const std::vector<std::string> repairArgs{"-f", file};
    static const std::vector<std::string> checkArgs{file};
    const fuzzsupport::ScratchRun run;
    fuzzsupport::Write(file, data, size);
    const int code = mp3val::RunMp3val(repairArgs);
    const std::vector<uint8_t>& after = fuzzsupport::Read(file);
    const bool unchanged = after.size() == size && std::equal(after.begin(), after.end(), data);
    switch (code) {
    case mp3val::kExitClean:
    case mp3val::kExitFailed:
        FUZZ_CHECK(unchanged);
        FUZZ_CHECK(fuzzsupport::Holds(fileOnly));
        break;
    case mp3val::kExitProblems: {
        FUZZ_CHECK(fuzzsupport::Holds(fileAndBackup));
        const std::vector<uint8_t>& backup = fuzzsupport::Read(backupPath);
        FUZZ_CHECK(backup.size() == size && std::equal(backup.begin(), backup.end(), data));
        FUZZ_CHECK(mp3val::RunMp3val(checkArgs) == mp3val::kExitClean);
        break;
    }
    default: FUZZ_CHECK(false);
    }
    return 0;
}
