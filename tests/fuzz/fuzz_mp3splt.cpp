// The splitter's core on any input file: the input is never changed, a failure leaves no file,
// and a written cut is an MP3 of one stream whose information frame describes its frames.
#include <cstdint>

#include "mp3/mp3.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/tool_fuzz_support.h"
#include "tools/mp3splt/cut_file.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) { return fuzzsupport::Initialize(*argc, *argv); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Made once: the paths and the request's strings are the same in every run.
    static const std::string input = fuzzsupport::PathOf("in.mp3");
    static const std::string cutPath = fuzzsupport::PathOf("out.mp3");
    static const std::vector<std::string> inputOnly{input};
    static const std::vector<std::string> inputAndCut{input, cutPath};
    static mp3splt::SplitRequest request = [] {
        mp3splt::SplitRequest fixed;
        fixed.input = input;
        fixed.folder = fuzzsupport::Scratch();
        fixed.name = "out";
        return fixed;
    }();
    const fuzzsupport::ScratchRun run;
    fuzzsupport::Write(input, data, size);
    // The stretch comes from the size, so that every byte of the input stays file content.
    request.startMs = int64_t(size % 7) * 100;
    request.endMs = request.startMs + 200 + int64_t(size % 13) * 150;
    request.frameMode = size % 2 == 0;
    const int code = mp3splt::CutFile(request);

    const std::vector<uint8_t>& after = fuzzsupport::Read(input);
    FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data));
    if (code != mp3splt::kExitWritten) {
        FUZZ_CHECK(fuzzsupport::Holds(inputOnly));
        return 0;
    }
    FUZZ_CHECK(fuzzsupport::Holds(inputAndCut));
    const std::vector<uint8_t>& cut = fuzzsupport::Read(cutPath);
    mp3::MemorySource source{mp3::ByteView(cut)};
    mp3::MainStreamResult result = mp3::FindMainStream(source);
    FUZZ_CHECK(result.ok() && result.stream.frames > 0);
    FUZZ_CHECK(result.foreignFrames == 0);
    if (result.layout.info && result.layout.info->xing && result.layout.info->xing->frames)
        FUZZ_CHECK(*result.layout.info->xing->frames == result.stream.frames);
    if (result.layout.info && result.layout.info->lame) FUZZ_CHECK(result.layout.info->lame->tagCrcValid);
    return 0;
}
