// Measures the frame-index pass over a file against plain sequential reading of the same
// file, warm (file in the page cache) and cold (the file's cached pages dropped first with
// posix_fadvise, which touches no other file). Usage: mp3_bench <file> [runs].
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mp3/mp3.h"

namespace {

// Asks the kernel to forget this file's cached pages: the next read comes from disk.
bool DropFromCache(const char* path) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    fdatasync(fd);
    const bool ok = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(fd);
    return ok;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Reads the whole file through the same 256 KiB chunks the scanner uses.
double PlainRead(const char* path, uint64_t& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return -1;
    std::vector<char> buffer(256 * 1024);
    const auto start = std::chrono::steady_clock::now();
    bytes = 0;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;) bytes += n;
    const double s = Seconds(std::chrono::steady_clock::now() - start);
    std::fclose(f);
    return s;
}

double IndexPass(const char* path, size_t& frames, int64_t& durationMs) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return -1;
    const auto start = std::chrono::steady_clock::now();
    mp3::FileSource source(f);
    const mp3::IndexResult result = mp3::BuildFrameIndex(source);
    const double s = Seconds(std::chrono::steady_clock::now() - start);
    std::fclose(f);
    frames = result.index.FrameCount();
    durationMs = result.index.DurationMs();
    return result.ok() ? s : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mp3_bench <file.mp3> [runs]\n");
        return 2;
    }
    const char* path = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    struct Best {
        double read = 1e9, index = 1e9;
    } warm, cold;
    uint64_t bytes = 0;
    size_t frames = 0;
    int64_t durationMs = 0;
    for (int i = 0; i < runs; ++i) {
        for (bool isCold : {true, false}) {
            Best& best = isCold ? cold : warm;
            if (isCold) DropFromCache(path);
            const double r = PlainRead(path, bytes);
            if (isCold) DropFromCache(path);
            const double x = IndexPass(path, frames, durationMs);
            if (r < 0 || x < 0) {
                std::fprintf(stderr, "mp3_bench: cannot read or index %s\n", path);
                return 1;
            }
            const double mb = double(bytes) / 1e6;
            std::printf("run %d %s: plain read %7.1f MB/s (%.3f s), index pass %7.1f MB/s (%.3f s)\n", i + 1,
                        isCold ? "cold" : "warm", mb / r, r, mb / x, x);
            if (r < best.read) best.read = r;
            if (x < best.index) best.index = x;
        }
    }
    const double mb = double(bytes) / 1e6;
    std::printf("file: %.1f MB, %zu frames, %lld ms; index memory: %.2f MB (10 bytes per frame)\n", mb, frames,
                static_cast<long long>(durationMs), double(frames) * 10 / 1e6);
    for (bool isCold : {true, false}) {
        const Best& best = isCold ? cold : warm;
        std::printf("best %s: plain read %.1f MB/s, index pass %.1f MB/s (%.0f%% of plain reading speed)\n",
                    isCold ? "cold" : "warm", mb / best.read, mb / best.index, 100.0 * best.read / best.index);
    }
    return 0;
}
