#include "test_support.h"

#include <fstream>
#include <iterator>

namespace mp3test {

bool FixtureExists(const std::string& name) { return std::ifstream(FixturePath(name)).good(); }

std::vector<uint8_t> ReadFixture(const std::string& name) {
    std::ifstream in(FixturePath(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FixtureFile::FixtureFile(const std::string& name)
    : file_(std::fopen(FixturePath(name).c_str(), "rb")), source_(new mp3::FileSource(file_)) {}

FixtureFile::~FixtureFile() {
    delete source_;
    if (file_ != nullptr) std::fclose(file_);
}

std::vector<uint8_t> SilentFrame(mp3::Version version, mp3::Layer layer, int bitrateKbps, int sampleRate,
                                 mp3::ChannelMode mode, bool padding) {
    const std::optional<mp3::FrameHeader> h =
        mp3::MakeFrameHeader(version, layer, bitrateKbps, sampleRate, mode, padding);
    if (!h) return {};
    std::vector<uint8_t> frame(size_t(h->FrameLength()), 0);
    for (int i = 0; i < 4; ++i) frame[size_t(i)] = uint8_t(h->raw >> (24 - 8 * i));
    return frame;
}

std::vector<uint8_t> SilentStream(int count) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i)
        Append(out, SilentFrame(mp3::Version::Mpeg1, mp3::Layer::III, 128, 44100, mp3::ChannelMode::JointStereo,
                                i % 3 == 1));
    return out;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}
void Append(std::vector<uint8_t>& to, const std::string& text) { to.insert(to.end(), text.begin(), text.end()); }

std::vector<mp3::ScanEvent> ScanAll(mp3::ByteSource& source, uint64_t begin, uint64_t end, mp3::ScanOptions options) {
    std::vector<mp3::ScanEvent> events;
    mp3::FrameScanner scanner(source, begin, end, options);
    mp3::ScanEvent e;
    while (scanner.Next(e)) events.push_back(e);
    return events;
}

}  // namespace mp3test
