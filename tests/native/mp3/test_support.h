// Helpers shared by the MP3 library tests: fixture files and synthetic streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mp3/mp3.h"
#include "tests/fixtures/fixture_path.h"

namespace mp3test {

using ::FixturePath;
bool FixtureExists(const std::string& name);
std::vector<uint8_t> ReadFixture(const std::string& name);

// A fixture opened as a FileSource; closes the file when destroyed.
class FixtureFile {
public:
    explicit FixtureFile(const std::string& name);
    ~FixtureFile();
    FixtureFile(const FixtureFile&) = delete;
    FixtureFile& operator=(const FixtureFile&) = delete;
    mp3::FileSource& Source() { return *source_; }
    bool IsOpen() const { return file_ != nullptr; }

private:
    std::FILE* file_;
    mp3::FileSource* source_;
};

// A silent frame of the given parameters (header followed by zero bytes).
std::vector<uint8_t> SilentFrame(mp3::Version version, mp3::Layer layer, int bitrateKbps, int sampleRate,
                                 mp3::ChannelMode mode, bool padding = false);
// `count` silent MPEG-1 Layer III 128 kb/s 44.1 kHz stereo frames back to back.
std::vector<uint8_t> SilentStream(int count);
void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes);
void Append(std::vector<uint8_t>& to, const std::string& text);

// Every event of a scan over [begin, end).
std::vector<mp3::ScanEvent> ScanAll(mp3::ByteSource& source, uint64_t begin, uint64_t end,
                                    mp3::ScanOptions options = {});

}  // namespace mp3test
