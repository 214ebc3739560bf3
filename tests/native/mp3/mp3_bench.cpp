// Measures the frame-index pass over a file against plain sequential reading of the same
// file. Usage: mp3_bench <file> [runs]. Prints one line per run and a summary.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mp3/mp3.h"

namespace {

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
  double bestRead = 1e9, bestIndex = 1e9;
  uint64_t bytes = 0;
  size_t frames = 0;
  int64_t durationMs = 0;
  for (int i = 0; i < runs; ++i) {
    const double r = PlainRead(path, bytes);
    const double x = IndexPass(path, frames, durationMs);
    if (r < 0 || x < 0) {
      std::fprintf(stderr, "mp3_bench: cannot read or index %s\n", path);
      return 1;
    }
    const double mb = double(bytes) / 1e6;
    std::printf("run %d: plain read %.1f MB/s (%.3f s), index pass %.1f MB/s (%.3f s)\n", i + 1, mb / r, r, mb / x, x);
    if (r < bestRead) bestRead = r;
    if (x < bestIndex) bestIndex = x;
  }
  const double mb = double(bytes) / 1e6;
  std::printf("file: %.1f MB, %zu frames, %lld ms; index memory: %.1f MB (10 bytes/frame)\n", mb, frames,
              static_cast<long long>(durationMs), double(frames) * 10 / 1e6);
  std::printf("best: plain read %.1f MB/s, index pass %.1f MB/s (%.0f%% of plain reading)\n", mb / bestRead,
              mb / bestIndex, 100.0 * bestRead / bestIndex);
  return 0;
}
