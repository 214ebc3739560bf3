// The splitter's time notation: what it accepts formats back to the same time, and every
// time it formats is accepted again.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_check.h"
#include "tools/mp3splt/split_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (std::optional<int64_t> ms = mp3splt::ParseCutTime(text)) {
        FUZZ_CHECK(*ms >= 0 && *ms % 10 == 0);
        FUZZ_CHECK(mp3splt::ParseCutTime(mp3splt::FormatCutTime(*ms)) == ms);
    }
    if (size >= 5) {
        const int64_t ms = int64_t(uint64_t(data[0]) | uint64_t(data[1]) << 8 | uint64_t(data[2]) << 16 |
                                   uint64_t(data[3]) << 24 | uint64_t(data[4] & 0x7F) << 32);
        std::optional<int64_t> back = mp3splt::ParseCutTime(mp3splt::FormatCutTime(ms));
        FUZZ_CHECK(back && *back == ms / 10 * 10);
    }
    return 0;
}
