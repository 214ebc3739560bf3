#include "tests/fuzz/tool_fuzz_support.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

const std::string& Scratch() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/clipvane-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) std::abort();
        return std::string(made);
    }();
    return folder;
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(Scratch().c_str())) {
        while (const dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Clear() {
    for (const std::string& name : Names()) unlink((Scratch() + "/" + name).c_str());
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) std::abort();
}

std::vector<uint8_t> Read(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

}  // namespace fuzzsupport
