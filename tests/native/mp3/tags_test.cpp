#include <gtest/gtest.h>

#include <string>

#include "mp3/mp3.h"
#include "test_support.h"

namespace {

using mp3::TagKind;
using mp3test::Append;

std::vector<uint8_t> Id3v2(uint8_t major, uint8_t flags, uint32_t bodySize, bool withFooter = false) {
    std::vector<uint8_t> tag = {'I',
                                'D',
                                '3',
                                major,
                                0,
                                flags,
                                uint8_t(bodySize >> 21 & 0x7F),
                                uint8_t(bodySize >> 14 & 0x7F),
                                uint8_t(bodySize >> 7 & 0x7F),
                                uint8_t(bodySize & 0x7F)};
    tag.resize(10 + bodySize, 0);
    if (withFooter) {
        std::vector<uint8_t> footer(tag.begin(), tag.begin() + 10);
        footer[0] = '3', footer[1] = 'D', footer[2] = 'I';
        Append(tag, footer);
    }
    return tag;
}

TEST(Id3v2, HeaderSizes) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::optional<uint64_t> total;
    } cases[] = {
        {"v2.3, 257 bytes", {'I', 'D', '3', 3, 0, 0, 0, 0, 2, 1}, 10 + 257},
        {"v2.4 with footer", {'I', 'D', '3', 4, 0, 0x10, 0, 0, 2, 1}, 10 + 257 + 10},
        {"v2.3 ignores the v2.4 footer bit", {'I', 'D', '3', 3, 0, 0x10, 0, 0, 2, 1}, 10 + 257},
        {"v2.2", {'I', 'D', '3', 2, 0, 0, 0, 0, 0, 5}, 15},
        {"largest syncsafe size", {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, 10 + 0x0FFFFFFF},
        {"size byte with high bit", {'I', 'D', '3', 3, 0, 0, 0, 0, 0x80, 1}, std::nullopt},
        {"version 5", {'I', 'D', '3', 5, 0, 0, 0, 0, 0, 1}, std::nullopt},
        {"revision 0xFF", {'I', 'D', '3', 3, 0xFF, 0, 0, 0, 0, 1}, std::nullopt},
        {"too short", {'I', 'D', '3', 3, 0, 0, 0, 0, 0}, std::nullopt},
        {"not a tag", {'T', 'A', 'G', 3, 0, 0, 0, 0, 0, 1}, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<mp3::Id3v2Header> h = mp3::ParseId3v2Header(mp3::ByteView(c.bytes));
        ASSERT_EQ(h.has_value(), c.total.has_value()) << c.what;
        if (h) {
            EXPECT_EQ(h->TotalSize(), *c.total) << c.what;
        }
    }
}

TEST(Id3v2, LeadingTagsFollowOneAnother) {
    std::vector<uint8_t> file = Id3v2(3, 0, 100);
    Append(file, Id3v2(4, 0x10, 50, true));
    Append(file, mp3test::SilentStream(5));
    mp3::MemorySource source{mp3::ByteView(file)};
    const std::vector<mp3::TagInfo> tags = mp3::FindLeadingTags(source);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].range, (mp3::ByteRange{0, 110}));
    EXPECT_EQ(tags[1].range, (mp3::ByteRange{110, 70}));
    EXPECT_EQ(tags[1].version, 4);
    const mp3::AnalyzeResult a = mp3::AnalyzeStream(source);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.layout.audioStart, 180u);
    EXPECT_EQ(a.layout.firstFrameOffset, 180u);
}

TEST(Id3v2, TagLargerThanTheFileIsClipped) {
    std::vector<uint8_t> file = Id3v2(3, 0, 100);
    file.resize(60);
    mp3::MemorySource source{mp3::ByteView(file)};
    const std::vector<mp3::TagInfo> tags = mp3::FindLeadingTags(source);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].range.End(), 60u);
    EXPECT_EQ(mp3::AnalyzeStream(source).status, mp3::Status::NoAudio);
}

std::vector<uint8_t> Id3v1() {
    std::vector<uint8_t> tag(128, 0);
    tag[0] = 'T', tag[1] = 'A', tag[2] = 'G';
    return tag;
}

void PutLe32(std::vector<uint8_t>& to, uint32_t v) {
    for (int i = 0; i < 4; ++i) to.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> ApeHeaderOrFooter(uint32_t version, uint32_t size, uint32_t flags) {
    std::vector<uint8_t> part;
    Append(part, std::string("APETAGEX"));
    PutLe32(part, version);
    PutLe32(part, size);
    PutLe32(part, 1);  // item count
    PutLe32(part, flags);
    part.resize(32, 0);
    return part;
}

std::vector<uint8_t> Ape(bool withHeader, uint32_t version = 2000) {
    const uint32_t itemsSize = 40;
    const uint32_t size = itemsSize + 32;
    std::vector<uint8_t> tag;
    if (withHeader) Append(tag, ApeHeaderOrFooter(version, size, 0x80000000u | 0x20000000u));
    tag.resize(tag.size() + itemsSize, 'x');
    Append(tag, ApeHeaderOrFooter(version, size, withHeader ? 0x80000000u : 0));
    return tag;
}

std::vector<uint8_t> Lyrics3v2() {
    const std::string body = "LYRICSBEGININD0000210EAL00005Album";
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06zu", body.size());
    std::vector<uint8_t> tag;
    Append(tag, body + digits + "LYRICS200");
    return tag;
}

std::vector<uint8_t> Lyrics3v1() {
    std::vector<uint8_t> tag;
    Append(tag, std::string("LYRICSBEGIN[00:01]Hello\r\n[00:02]again LYRICSEND"));
    return tag;
}

struct Tail {
    TagKind kind;
    std::vector<uint8_t> bytes;
};

TEST(TailTags, CombinationsSeenInPractice) {
    const struct {
        const char* what;
        std::vector<Tail> tags;
    } cases[] = {
        {"none", {}},
        {"ID3v1", {{TagKind::Id3v1, Id3v1()}}},
        {"APEv2 with header", {{TagKind::Ape, Ape(true)}}},
        {"APEv2 without header + ID3v1", {{TagKind::Ape, Ape(false)}, {TagKind::Id3v1, Id3v1()}}},
        {"APEv1 + ID3v1", {{TagKind::Ape, Ape(false, 1000)}, {TagKind::Id3v1, Id3v1()}}},
        {"APEv2 + ID3v1", {{TagKind::Ape, Ape(true)}, {TagKind::Id3v1, Id3v1()}}},
        {"Lyrics3v2 + ID3v1", {{TagKind::Lyrics3v2, Lyrics3v2()}, {TagKind::Id3v1, Id3v1()}}},
        {"Lyrics3v1 + ID3v1", {{TagKind::Lyrics3v1, Lyrics3v1()}, {TagKind::Id3v1, Id3v1()}}},
        {"APE + Lyrics3v2 + ID3v1",
         {{TagKind::Ape, Ape(true)}, {TagKind::Lyrics3v2, Lyrics3v2()}, {TagKind::Id3v1, Id3v1()}}},
        {"Lyrics3v2 + APE + ID3v1",
         {{TagKind::Lyrics3v2, Lyrics3v2()}, {TagKind::Ape, Ape(false)}, {TagKind::Id3v1, Id3v1()}}},
        {"ID3v2 with footer + APE + ID3v1",
         {{TagKind::Id3v2, Id3v2(4, 0x10, 30, true)}, {TagKind::Ape, Ape(true)}, {TagKind::Id3v1, Id3v1()}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file = mp3test::SilentStream(6);
        const uint64_t audioEnd = file.size();
        std::vector<mp3::ByteRange> expected;
        for (const Tail& t : c.tags) {
            expected.push_back({file.size(), t.bytes.size()});
            Append(file, t.bytes);
        }
        mp3::MemorySource source{mp3::ByteView(file)};
        const mp3::TailTags tail = mp3::FindTailTags(source);
        EXPECT_EQ(tail.audioEnd, audioEnd);
        ASSERT_EQ(tail.tags.size(), c.tags.size());
        for (size_t i = 0; i < c.tags.size(); ++i) {
            EXPECT_EQ(tail.tags[i].kind, c.tags[i].kind) << i;
            EXPECT_EQ(tail.tags[i].range, expected[i]) << i;
        }
        // The whole audio region scans as frames only.
        const mp3::AnalyzeResult a = mp3::AnalyzeStream(source);
        ASSERT_TRUE(a.ok());
        EXPECT_EQ(a.layout.audioEnd, audioEnd);
        const mp3::IndexResult index = mp3::BuildFrameIndex(source);
        ASSERT_TRUE(index.ok());
        EXPECT_EQ(index.index.FrameCount(), 6u);
        EXPECT_EQ(index.index.SkippedBytes(), 0u);
    }
}

TEST(TailTags, SizesThatReachIntoTheAudioAreRefused) {
    std::vector<uint8_t> file = mp3test::SilentStream(3);
    const uint64_t audioEnd = file.size();
    std::vector<uint8_t> ape = ApeHeaderOrFooter(2000, 100000, 0);  // claims more than the file
    Append(file, ape);
    mp3::MemorySource source{mp3::ByteView(file)};
    EXPECT_EQ(mp3::FindTailTags(source).audioEnd, file.size());
    // A tag may not begin before the start of the audio region.
    std::vector<uint8_t> small = Id3v1();
    mp3::MemorySource tagOnly{mp3::ByteView(small)};
    EXPECT_EQ(mp3::FindTailTags(tagOnly, 1).audioEnd, 128u);
    EXPECT_EQ(mp3::FindTailTags(tagOnly, 0).audioEnd, 0u);
    (void)audioEnd;
}

TEST(Tags, SpeechFixtureHasBothId3Tags) {
    mp3test::FixtureFile f("speech.mp3");
    ASSERT_TRUE(f.IsOpen());
    const mp3::AnalyzeResult a = mp3::AnalyzeStream(f.Source());
    ASSERT_TRUE(a.ok());
    ASSERT_EQ(a.layout.leadingTags.size(), 1u);
    EXPECT_EQ(a.layout.leadingTags[0].kind, TagKind::Id3v2);
    EXPECT_GT(a.layout.id3v2Size, 20u);
    ASSERT_EQ(a.layout.tail.tags.size(), 1u);
    EXPECT_EQ(a.layout.tail.tags[0].kind, TagKind::Id3v1);
    EXPECT_EQ(a.layout.audioEnd, a.layout.fileSize - 128);
    EXPECT_EQ(a.layout.firstFrameOffset, a.layout.id3v2Size);
}

}  // namespace
