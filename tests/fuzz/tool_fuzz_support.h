// The tool targets' files: one folder held in memory (toolcommon::memoryfiles), so that the
// tools' cores run through all of their own code without touching the disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzsupport {

// The folder, switched on at first use and emptied by Clear().
const std::string& Scratch();
void Clear();
void Write(const std::string& path, const uint8_t* data, size_t size);
// A file's bytes in place (empty for a missing file), valid until the folder next changes.
const std::vector<uint8_t>& Read(const std::string& path);
std::vector<std::string> Names();  // entries of the scratch folder, sorted

// One execution's files: an empty folder at the start, and none left behind at the end, so
// that libFuzzer sees as many frees as allocations and does not re-run the input to look
// for a leak.
class ScratchRun {
public:
    ScratchRun() { Clear(); }
    ~ScratchRun() { Clear(); }
    ScratchRun(const ScratchRun&) = delete;
    ScratchRun& operator=(const ScratchRun&) = delete;
};

}  // namespace fuzzsupport
