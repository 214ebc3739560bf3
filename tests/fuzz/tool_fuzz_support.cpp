#include "tests/fuzz/tool_fuzz_support.h"

#include <algorithm>

#include "tools/common/file_system.h"

namespace fuzzsupport {

const std::string& Scratch() {
    // No such folder exists on the disk: a path that escaped the memory folder fails.
    static const std::string folder = [] {
        const std::string name = "/nonexistent-clipvane-fuzz";
        toolcommon::memoryfiles::SwitchOn(name);
        return name;
    }();
    return folder;
}

std::vector<std::string> Names() {
    std::vector<std::string> names = toolcommon::FolderEntries(Scratch());
    std::sort(names.begin(), names.end());
    return names;
}

void Clear() {
    Scratch();
    toolcommon::memoryfiles::Files().clear();
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    Scratch();
    toolcommon::memoryfiles::Files()[path].assign(data, data + size);
}

const std::vector<uint8_t>& Read(const std::string& path) {
    static const std::vector<uint8_t> none;
    const auto& files = toolcommon::memoryfiles::Files();
    const auto found = files.find(path);
    return found == files.end() ? none : found->second;
}

}  // namespace fuzzsupport
