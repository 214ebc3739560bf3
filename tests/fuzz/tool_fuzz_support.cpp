#include "tests/fuzz/tool_fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/common/file_system.h"

namespace fuzzsupport {

namespace {

constexpr char kCloseFdMaskOption[] = "-close_fd_mask=";
constexpr int kStdoutClosed = 1;
constexpr int kStderrClosed = 2;

// The tools flush every line; this stream takes it and writes it nowhere.
std::FILE* DroppingStream() {
    cookie_io_functions_t drop{};
    drop.write = [](void*, const char*, size_t size) { return static_cast<ssize_t>(size); };
    return fopencookie(nullptr, "w", drop);
}

int CloseFdMask(int argc, char** argv) {
    const size_t length = std::strlen(kCloseFdMaskOption);
    int mask = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kCloseFdMaskOption, length) == 0) mask = std::atoi(argv[i] + length);
    }
    return mask;
}

}  // namespace

int Initialize(int argc, char** argv) {
    Scratch();
    const int mask = CloseFdMask(argc, argv);
    if (mask & kStdoutClosed) stdout = DroppingStream();
    if (mask & kStderrClosed) stderr = DroppingStream();
    return 0;
}

const std::string& Scratch() {
    // No such folder exists on the disk: a path that escaped the memory folder fails.
    static const std::string folder = [] {
        const std::string name = "/nonexistent-clipvane-fuzz";
        toolcommon::memoryfiles::SwitchOn(name);
        return name;
    }();
    return folder;
}

std::string PathOf(const std::string& name) { return Scratch() + "/" + name; }

bool Holds(const std::vector<std::string>& paths) {
    const auto& files = toolcommon::memoryfiles::Files();
    return std::equal(files.begin(), files.end(), paths.begin(), paths.end(),
                      [](const auto& file, const std::string& path) { return file.first == path; });
}

void Clear() {
    Scratch();
    toolcommon::memoryfiles::Clear();
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    Scratch();
    std::vector<uint8_t>* file = toolcommon::memoryfiles::Add(path);
    if (!file) file = &toolcommon::memoryfiles::Files()[path];
    file->assign(data, data + size);
}

const std::vector<uint8_t>& Read(const std::string& path) {
    static const std::vector<uint8_t> none;
    const auto& files = toolcommon::memoryfiles::Files();
    const auto found = files.find(path);
    return found == files.end() ? none : found->second;
}

}  // namespace fuzzsupport
