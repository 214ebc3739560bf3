#include "tool_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace tooltest {

namespace fs = std::filesystem;

namespace {
std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

RunResult RunTool(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds) {
    RunResult result;
    char outTemplate[] = "/tmp/tooltest-out-XXXXXX";
    char errTemplate[] = "/tmp/tooltest-err-XXXXXX";
    int outFd = mkstemp(outTemplate);
    int errFd = mkstemp(errTemplate);
    int stdinPipe[2];
    if (outFd < 0 || errFd < 0 || pipe(stdinPipe) != 0) return result;
    pid_t child = fork();
    if (child == 0) {
        dup2(stdinPipe[0], 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        close(stdinPipe[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(stdinPipe[0]);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool ended = false;
    while (!ended) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            ended = true;
        } else if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    close(stdinPipe[1]);
    close(outFd);
    close(errFd);
    if (ended && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = Slurp(outTemplate);
    result.err = Slurp(errTemplate);
    unlink(outTemplate);
    unlink(errTemplate);
    return result;
}

int StartTool(const std::string& program, const std::vector<std::string>& args) {
    pid_t child = fork();
    if (child == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

int WaitTool(int pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1000;
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
}

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/clipvane-tools-XXXXXX";
    path_ = mkdtemp(pattern);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadBytes(const std::string& path) {
    std::string text = Slurp(path);
    return Bytes(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

Bytes Mp3View::RangeBytes(const mp3::ByteRange& range) const {
    return Bytes(fileBytes.begin() + static_cast<std::ptrdiff_t>(range.offset),
                 fileBytes.begin() + static_cast<std::ptrdiff_t>(range.End()));
}

Bytes Mp3View::FrameBytes(size_t index) const { return RangeBytes(frames.at(index)); }

Bytes Mp3View::LeadingTagBytes() const {
    Bytes bytes;
    for (const mp3::TagInfo& tag : layout.leadingTags) {
        Bytes part = RangeBytes(tag.range);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

Bytes Mp3View::TailTagBytes() const {
    Bytes bytes;
    for (const mp3::TagInfo& tag : layout.tail.tags) {
        Bytes part = RangeBytes(tag.range);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

double Mp3View::FrameMs() const {
    if (headers.empty()) return 0;
    return headers[0].SamplesPerFrame() * 1000.0 / headers[0].sampleRate;
}

double Mp3View::PlayedMs() const {
    if (headers.empty()) return 0;
    int64_t samples = int64_t(frames.size()) * headers[0].SamplesPerFrame();
    if (layout.info && layout.info->lame)
        samples -= layout.info->lame->encoderDelay + layout.info->lame->encoderPadding;
    return samples * 1000.0 / headers[0].sampleRate;
}

uint64_t Mp3View::AudioBytes() const {
    uint64_t total = 0;
    for (const mp3::ByteRange& frame : frames) total += frame.size;
    return total;
}

Mp3View ViewMp3(const std::string& path) {
    Mp3View view;
    view.fileBytes = ReadBytes(path);
    mp3::MemorySource source(view.fileBytes);
    mp3::AnalyzeResult analysis = mp3::AnalyzeStream(source);
    if (!analysis.ok()) return view;
    view.layout = analysis.layout;
    mp3::FrameScanner scanner(source, view.layout.audioStart, view.layout.audioEnd);
    mp3::ScanEvent event;
    while (scanner.Next(event)) {
        switch (event.kind) {
        case mp3::ScanEvent::Kind::Frame:
            if (view.layout.info && event.offset == view.layout.infoFrameRange.offset) break;
            view.frames.push_back({event.offset, event.size});
            view.headers.push_back(event.header);
            break;
        case mp3::ScanEvent::Kind::Skipped:
            view.skippedBytes += event.size;
            ++view.skippedRanges;
            break;
        case mp3::ScanEvent::Kind::Truncated: view.truncated = true; break;
        case mp3::ScanEvent::Kind::ReadError: return view;
        }
    }
    view.ok = true;
    return view;
}

PlayerView ViewAsPlayer(const std::string& path) {
    PlayerView view;
    view.fileBytes = ReadBytes(path);
    mp3::MemorySource source(view.fileBytes);
    mp3::IndexResult result = mp3::BuildFrameIndex(source);
    if (!result.ok()) return view;
    view.stream = result.index.StreamHeader();
    for (size_t i = 0; i < result.index.FrameCount(); ++i) view.frames.push_back(result.index.FrameRange(i));
    view.ok = true;
    return view;
}

double PlayerView::FrameMs() const { return stream.SamplesPerFrame() * 1000.0 / stream.sampleRate; }

Bytes PlayerView::FrameBytes(size_t index) const {
    const mp3::ByteRange& frame = frames.at(index);
    return Bytes(fileBytes.begin() + static_cast<std::ptrdiff_t>(frame.offset),
                 fileBytes.begin() + static_cast<std::ptrdiff_t>(frame.End()));
}

std::vector<std::pair<std::string, Bytes>> Id3Frames(const Bytes& tag) {
    std::vector<std::pair<std::string, Bytes>> frames;
    if (tag.size() < 10 || (tag[3] != 3 && tag[3] != 4)) return frames;
    const bool syncsafe = tag[3] == 4;
    auto at = [&](size_t i) { return tag.begin() + static_cast<std::ptrdiff_t>(i); };
    for (size_t pos = 10; pos + 10 <= tag.size() && tag[pos] != 0;) {
        size_t size = 0;
        for (size_t i = 4; i < 8; ++i) size = syncsafe ? size << 7 | (tag[pos + i] & 0x7F) : size << 8 | tag[pos + i];
        if (pos + 10 + size > tag.size()) break;
        frames.emplace_back(std::string(at(pos), at(pos + 4)), Bytes(at(pos + 10), at(pos + 10 + size)));
        pos += 10 + size;
    }
    return frames;
}

std::optional<std::string> Id3Text(const Bytes& tag, const std::string& id) {
    for (const auto& [name, content] : Id3Frames(tag))
        if (name == id && !content.empty()) return std::string(content.begin() + 1, content.end());
    return std::nullopt;
}

bool DecodesWithLame(const std::string& path, const std::string& scratchFolder) {
    std::string wav = scratchFolder + "/decoded.wav";
    RunResult run = RunTool("/usr/bin/lame", {"--decode", "--quiet", path, wav});
    struct stat info;
    bool produced = stat(wav.c_str(), &info) == 0 && info.st_size > 44;
    unlink(wav.c_str());
    return run.exitCode == 0 && produced;
}

std::string CutTime(int64_t milliseconds) {
    int64_t cs = milliseconds / 10;
    return std::to_string(cs / 6000) + "." + std::to_string(cs % 6000 / 100) + "." + std::to_string(cs % 100);
}

namespace {

// The main data a frame's granules take, as the source's stream holds it: from main_data_begin
// bytes before the frame's own area, through the areas of the frames before it.
Bytes SourceMainData(const Mp3View& in, size_t frame) {
    Bytes stream;  // the main-data areas of frames 0 .. frame, one after the other
    for (size_t i = 0; i <= frame; ++i) {
        const Bytes bytes = in.FrameBytes(i);
        stream.insert(stream.end(), bytes.begin() + in.headers[i].DataOffset(), bytes.end());
    }
    const Bytes own = in.FrameBytes(frame);
    const size_t areaStart = stream.size() - (own.size() - size_t(in.headers[frame].DataOffset()));
    const size_t begin = size_t(*mp3::MainDataBegin(in.headers[frame], own));
    const size_t length = size_t(*mp3::MainDataBits(in.headers[frame], own) + 7) / 8;
    return Bytes(stream.begin() + std::ptrdiff_t(areaStart - begin),
                           stream.begin() + std::ptrdiff_t(areaStart - begin + length));
}

// Side information with main_data_begin left out (9 bits in MPEG-1, 8 in MPEG-2/2.5).
Bytes SideInfoAfterMainDataBegin(const mp3::FrameHeader& header, const Bytes& frame) {
    const size_t at = size_t(4 + (header.hasCrc ? 2 : 0));
    Bytes side(frame.begin() + std::ptrdiff_t(at), frame.begin() + std::ptrdiff_t(at + header.SideInfoSize()));
    side[0] = 0;
    if (header.version == mp3::Version::Mpeg1) side[1] &= 0x7F;
    return side;
}

}  // namespace

// The cut's frames read back through mp3/: from the first one the source has unchanged on,
// every frame is the source's; before it, one rewritten frame that carries its own main data
// (main_data_begin 0, the source's side information and main data byte for byte, a valid CRC),
// preceded by at most one frame with empty granules. Returns how many frames came before the
// first unchanged one.
size_t ExpectStartCarriesTheSourcesMainData(const Mp3View& in, const Mp3View& out) {
    size_t source = 0, unchanged = 0;
    for (; unchanged < 3 && unchanged < out.frames.size(); ++unchanged) {
        const Bytes frame = out.FrameBytes(unchanged);
        for (source = 0; source < in.frames.size() && in.FrameBytes(source) != frame; ++source) {
        }
        if (source < in.frames.size()) break;
    }
    EXPECT_LE(unchanged, 2u) << "no frame of the source among the cut's first three";
    for (size_t i = unchanged; i < out.frames.size() && source + i - unchanged < in.frames.size(); ++i)
        EXPECT_EQ(out.FrameBytes(i), in.FrameBytes(source + i - unchanged)) << "frame " << i << " of the cut";
    for (size_t i = 0; i < unchanged; ++i) {
        const Bytes frame = out.FrameBytes(i);
        const mp3::FrameHeader& header = out.headers[i];
        EXPECT_TRUE(mp3::SameStream(header, in.headers[0]));
        EXPECT_NE(mp3::CheckFrameCrc(header, frame), mp3::CrcStatus::Mismatch);
        EXPECT_EQ(mp3::MainDataBegin(header, frame), 0);
        const bool emptyGranules = mp3::MainDataBits(header, frame) == 0;
        if (emptyGranules) {
            EXPECT_EQ(i, 0u) << "more than one frame of empty granules";
            continue;
        }
        // Rewritten: the source's frame before the first unchanged one.
        if (source < unchanged - i) {
            ADD_FAILURE() << "the rewritten frame " << i << " has no source frame before the unchanged ones";
            continue;
        }
        const size_t original = source - (unchanged - i);
        const Bytes sourceFrame = in.FrameBytes(original);
        EXPECT_EQ(SideInfoAfterMainDataBegin(header, frame), SideInfoAfterMainDataBegin(in.headers[original], sourceFrame));
        const Bytes main = SourceMainData(in, original);
        if (header.DataOffset() + main.size() > frame.size()) {
            ADD_FAILURE() << "the rewritten frame " << i << " is shorter than its main data";
            continue;
        }
        EXPECT_EQ(Bytes(frame.begin() + header.DataOffset(), frame.begin() + header.DataOffset() + std::ptrdiff_t(main.size())), main)
            << "main data of the rewritten frame " << i;
    }
    return unchanged;
}

}  // namespace tooltest
