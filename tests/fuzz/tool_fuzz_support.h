// The tool targets' files: one folder held in memory (toolcommon::memoryfiles), so that the
// tools' cores run through all of their own code without touching the disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzsupport {

// For LLVMFuzzerInitialize: switches the folder on, and where libFuzzer sends the standard
// output or error to /dev/null (-close_fd_mask), has the tools' messages dropped before they
// reach a system call.
int Initialize(int argc, char** argv);

// The folder, switched on at first use and emptied by Clear().
const std::string& Scratch();
std::string PathOf(const std::string& name);  // of a file in the folder
void Clear();
void Write(const std::string& path, const uint8_t* data, size_t size);
// A file's bytes in place (empty for a missing file), valid until the folder next changes.
const std::vector<uint8_t>& Read(const std::string& path);
// Whether the files held are exactly these paths, given in sorted order.
bool Holds(const std::vector<std::string>& paths);

// One execution's files: an empty folder at the start, and none left behind at the end. The
// storage of the files is kept for the next execution, which then allocates (nearly) none.
class ScratchRun {
public:
    ScratchRun() { Clear(); }
    ~ScratchRun() { Clear(); }
    ScratchRun(const ScratchRun&) = delete;
    ScratchRun& operator=(const ScratchRun&) = delete;
};

}  // namespace fuzzsupport
