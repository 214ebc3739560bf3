// Helpers for the tool tests: run a tool as a child process, scratch folders, and a view of
// an MP3 file through the project's own library (frames, tags, information frame).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/mp3.h"
#include "tests/fixtures/fixture_path.h"

namespace tooltest {

using ::FixturePath;

using Bytes = std::vector<uint8_t>;

struct RunResult {
    int exitCode = -1;  // -1: killed or did not end in time
    std::string out;
    std::string err;
};

// Runs `program` with `args`. Its standard input is a pipe that stays open, so a tool that
// waits for input hangs and is killed after `timeoutSeconds` (exit code -1).
RunResult RunTool(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds = 120);

// Starts `program` without waiting; its output goes nowhere. Returns the process id.
int StartTool(const std::string& program, const std::vector<std::string>& args);
// Waits for a started tool; its exit code, or -signal when a signal ended it.
int WaitTool(int pid);

// A fresh folder, removed with its content when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Names() const;  // file names in the folder, sorted

private:
    std::string path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);

struct Mp3View {
    bool ok = false;
    mp3::StreamLayout layout;
    std::vector<mp3::ByteRange> frames;  // audio frames, the information frame excluded
    std::vector<mp3::FrameHeader> headers;
    uint64_t skippedBytes = 0;
    uint64_t skippedRanges = 0;
    bool truncated = false;
    Bytes fileBytes;

    Bytes FrameBytes(size_t index) const;
    Bytes RangeBytes(const mp3::ByteRange& range) const;
    Bytes LeadingTagBytes() const;
    Bytes TailTagBytes() const;
    double FrameMs() const;  // duration of one frame
    // What a gapless player plays: the frames less the LAME tag's encoder delay and padding.
    double PlayedMs() const;
    uint64_t AudioBytes() const;
};

Mp3View ViewMp3(const std::string& path);

// The file as the player sees it: the frames of its stream (mp3::BuildFrameIndex).
struct PlayerView {
    bool ok = false;
    mp3::FrameHeader stream;
    std::vector<mp3::ByteRange> frames;
    Bytes fileBytes;
    double FrameMs() const;
    Bytes FrameBytes(size_t index) const;
};
PlayerView ViewAsPlayer(const std::string& path);

// The frames of an ID3v2.3/2.4 tag (id, content) in order; the frames of a tag that does
// not add up are left out from where it stops adding up.
std::vector<std::pair<std::string, Bytes>> Id3Frames(const Bytes& tag);
// The text of a text frame (encoding byte left out); nullopt when absent.
std::optional<std::string> Id3Text(const Bytes& tag, const std::string& id);

// lame --decode succeeds on the file and yields some audio.
bool DecodesWithLame(const std::string& path, const std::string& scratchFolder);

// A frame-mode cut's frames against its source's: from the first frame the source has
// unchanged on, every frame is the source's; before it, one rewritten frame that carries its
// own main data (main_data_begin 0, the source's side information and main data byte for
// byte, a valid CRC), preceded by at most one frame with empty granules. Reports failures;
// returns how many frames come before the first unchanged one.
size_t ExpectStartCarriesTheSourcesMainData(const Mp3View& in, const Mp3View& out);

// The splitter's time notation for milliseconds (minutes.seconds.hundredths).
std::string CutTime(int64_t milliseconds);

}  // namespace tooltest
