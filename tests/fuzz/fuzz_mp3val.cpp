// The repair tool's core on any input file: a file it leaves alone is unchanged and gets no
// backup; a repaired one has its original as the backup, byte for byte, and checks clean.
#include <cstdint>

#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/tool_fuzz_support.h"
#include "tools/mp3val/repair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzsupport::ScratchRun run;
    const std::string file = fuzzsupport::Scratch() + "/song.mp3";
    fuzzsupport::Write(file, data, size);
    const int code = mp3val::RunMp3val({"-f", file});
    const std::vector<uint8_t>& after = fuzzsupport::Read(file);
    const bool unchanged = after.size() == size && std::equal(after.begin(), after.end(), data);
    switch (code) {
    case mp3val::kExitClean:
    case mp3val::kExitFailed:
        FUZZ_CHECK(unchanged);
        FUZZ_CHECK(fuzzsupport::Names() == std::vector<std::string>{"song.mp3"});
        break;
    case mp3val::kExitProblems: {
        FUZZ_CHECK(fuzzsupport::Names() == (std::vector<std::string>{"song.mp3", "song.mp3.bak"}));
        const std::vector<uint8_t>& backup = fuzzsupport::Read(file + ".bak");
        FUZZ_CHECK(backup.size() == size && std::equal(backup.begin(), backup.end(), data));
        FUZZ_CHECK(mp3val::RunMp3val({file}) == mp3val::kExitClean);
        break;
    }
    default: FUZZ_CHECK(false);
    }
    return 0;
}
