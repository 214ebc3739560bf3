// The parser inside real graphs: creation through the manifest, the type the platform's
// decoder takes, the exact timeline of many kinds of files, and refusal of non-MP3 input.
#include <gtest/gtest.h>

#include "graph_helpers.h"

#include <mmreg.h>

namespace parser_test {
namespace {

TEST(ParserFilter, IsCreatedFromTheManifestWithOneInputAndOneOutputPin) {
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kParserClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(&filter)));
    CLSID clsid = {};
    EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, kParserClsid));

    IEnumPins* pins = nullptr;
    ASSERT_EQ(S_OK, filter->EnumPins(&pins));
    IPin* found[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, pins->Next(3, found, &fetched));
    ASSERT_EQ(2u, fetched);
    PIN_DIRECTION first, second;
    found[0]->QueryDirection(&first);
    found[1]->QueryDirection(&second);
    EXPECT_EQ(PINDIR_INPUT, first);
    EXPECT_EQ(PINDIR_OUTPUT, second);

    // Before a file is connected the output offers nothing and refuses to connect.
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(S_OK, found[1]->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));
    types->Release();
    IPin* peer = nullptr;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, found[1]->ConnectedTo(&peer));

    found[0]->Release();
    found[1]->Release();
    pins->Release();
    EXPECT_EQ(0u, filter->Release());
}

TEST(ParserGraph, OffersLayerThreeAsMp3WaveFormatThatTheDecoderTakes) {
    mp3::FrameIndex index;
    ASSERT_TRUE(IndexFixture("cbr128.mp3", index));
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Build(WinePath(FixturePath("cbr128.mp3"))));

    IPin* out = FindPin(graph.parser, PINDIR_OUTPUT);
    ASSERT_NE(nullptr, out);
    AM_MEDIA_TYPE type = {};
    ASSERT_EQ(S_OK, out->ConnectionMediaType(&type));
    EXPECT_TRUE(IsEqualGUID(type.majortype, MEDIATYPE_Audio));
    EXPECT_TRUE(IsEqualGUID(type.subtype, kMediaSubtypeMp3));
    ASSERT_TRUE(IsEqualGUID(type.formattype, FORMAT_WaveFormatEx));
    ASSERT_GE(type.cbFormat, sizeof(MPEGLAYER3WAVEFORMAT));
    const auto* format = reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(type.pbFormat);
    EXPECT_EQ(WAVE_FORMAT_MPEGLAYER3, format->wfx.wFormatTag);
    EXPECT_EQ(static_cast<DWORD>(index.SampleRate()), format->wfx.nSamplesPerSec);
    EXPECT_EQ(index.Channels(), format->wfx.nChannels);
    CoTaskMemFree(type.pbFormat);
    out->Release();
}

// Layer II is offered as MPEG-1 audio payload with its own header fields. The platform's
// MP3 decoder takes only Layer III, so under Wine that connection is refused cleanly.
TEST(ParserGraph, OffersLayerTwoAsMpegPayloadWhichTheMp3DecoderRefuses) {
    const char* file = "layer2-a.mp2";
    if (GetFileAttributesW(WinePath(FixturePath(file)).c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << file << " was not made (the fixture script needs twolame for Layer II)";
    mp3::FrameIndex index;
    ASSERT_TRUE(IndexFixture(file, index));
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Create(WinePath(FixturePath(file))));
    ASSERT_EQ(S_OK, graph.ConnectSource());
    IPin* out = FindPin(graph.parser, PINDIR_OUTPUT);
    ASSERT_NE(nullptr, out);
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(S_OK, out->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &type, nullptr));
    types->Release();
    EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_MPEG1AudioPayload));
    ASSERT_GE(type->cbFormat, sizeof(MPEG1WAVEFORMAT));
    const auto* format = reinterpret_cast<const MPEG1WAVEFORMAT*>(type->pbFormat);
    EXPECT_EQ(WAVE_FORMAT_MPEG, format->wfx.wFormatTag);
    EXPECT_EQ(ACM_MPEG_LAYER2, format->fwHeadLayer);
    EXPECT_EQ(static_cast<DWORD>(index.SampleRate()), format->wfx.nSamplesPerSec);
    CoTaskMemFree(type->pbFormat);
    CoTaskMemFree(type);
    out->Release();
    const HRESULT hr = graph.ConnectPlayback();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
}

struct DurationCase {
    const char* file;
};

class DurationTest : public testing::TestWithParam<DurationCase> {};

// The graph's duration is the sum of the frames (what the frame index counts natively),
// never a bitrate estimate: within one frame for every kind of file.
TEST_P(DurationTest, GraphDurationIsTheSumOfTheFrames) {
    const char* file = GetParam().file;
    mp3::FrameIndex index;
    ASSERT_TRUE(IndexFixture(file, index)) << file;
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Build(WinePath(FixturePath(file)))) << file;
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, graph.seeking->GetDuration(&duration));
    EXPECT_LE(std::llabs(duration - index.DurationUnits()), FrameUnits(index)) << file;
    LONGLONG stop = 0;
    ASSERT_EQ(S_OK, graph.seeking->GetStopPosition(&stop));
    EXPECT_EQ(duration, stop) << file;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DurationTest,
                         testing::Values(DurationCase{"cbr128.mp3"}, DurationCase{"vbr.mp3"}, DurationCase{"mpeg2.mp3"},
                                         DurationCase{"mpeg25.mp3"}, DurationCase{"speech.mp3"},
                                         DurationCase{"bigtag.mp3"}, DurationCase{"truncated.mp3"},
                                         DurationCase{"garbage.mp3"}, DurationCase{"longprefix.mp3"},
                                         DurationCase{"freeformat.mp3"}, DurationCase{"jingle.mp3"},
                                         DurationCase{"mixed.mp3"}),
                         [](const testing::TestParamInfo<DurationCase>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

class RejectTest : public testing::TestWithParam<const char*> {};

// Input that holds no MPEG audio (nothing, or something else) fails the connection with an
// error, and the filter is left unconnected and usable.
TEST_P(RejectTest, NonMpegInputFailsToConnect) {
    TestGraph graph;
    HRESULT hr = graph.Create(WinePath(FixturePath(GetParam())));
    if (SUCCEEDED(hr)) hr = graph.ConnectSource();
    EXPECT_TRUE(FAILED(hr)) << GetParam() << " hr=" << std::hex << hr;
    if (graph.parser) {
        IPin* in = FindPin(graph.parser, PINDIR_INPUT);
        IPin* peer = nullptr;
        EXPECT_EQ(VFW_E_NOT_CONNECTED, in->ConnectedTo(&peer));
        in->Release();
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RejectTest, testing::Values("notmp3.mp3", "empty.mp3"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace parser_test
