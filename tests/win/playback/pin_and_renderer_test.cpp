// The free functions of the playback module: pin lookup by direction and index, the
// renderer lookup, the conversions between reference time and milliseconds, and where the
// trimmer cuts a segment.
#include <climits>

#include "playback/lead_trimmer.h"
#include "tests/win/playback/graph_tests.h"

namespace {

IBaseFilter* CreateFilter(const CLSID& clsid) {
    IBaseFilter* filter = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IBaseFilter,
                     reinterpret_cast<void**>(&filter));
    return filter;
}

// The file source has its output pin once it has a file.
IBaseFilter* CreateLoadedSource() {
    IBaseFilter* source = CreateFilter(CLSID_AsyncReader);
    if (!source) return nullptr;
    IFileSourceFilter* file = nullptr;
    source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&file));
    HRESULT hr = file ? file->Load(FixturePath(L"cbr128.mp3").c_str(), nullptr) : E_NOINTERFACE;
    if (file) file->Release();
    if (FAILED(hr)) {
        source->Release();
        return nullptr;
    }
    return source;
}

struct PinCase {
    const char* filter;  // "source": one output pin only; "decoder": one input, then one output
    PIN_DIRECTION direction;
    int index;
    bool found;
};

const PinCase pinCases[] = {
    {"source", PINDIR_OUTPUT, 0, true},   {"source", PINDIR_OUTPUT, 1, false},  // one output pin: no second one
    {"source", PINDIR_INPUT, 0, false},                                         // a source has no input
    {"decoder", PINDIR_INPUT, 0, true},   {"decoder", PINDIR_INPUT, 1, false},
    {"decoder", PINDIR_OUTPUT, 0, true},  // the input before it does not count
    {"decoder", PINDIR_OUTPUT, 1, false}, {"decoder", PINDIR_OUTPUT, -1, false},
};

class FindPinCase : public ::testing::TestWithParam<PinCase> {};

TEST_P(FindPinCase, CountsOnlyPinsOfTheAskedDirection) {
    const PinCase& c = GetParam();
    IBaseFilter* filter = std::string(c.filter) == "source" ? CreateLoadedSource() : CreateFilter(CLSID_Mp3Decoder);
    ASSERT_NE(filter, nullptr);
    ComPtr<IPin> pin = FindPin(filter, c.direction, c.index);
    EXPECT_EQ(pin.Get() != nullptr, c.found);
    if (pin) {
        PIN_DIRECTION direction;
        ASSERT_EQ(pin->QueryDirection(&direction), S_OK);
        EXPECT_EQ(direction, c.direction);
        PIN_INFO info = {};
        ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
        ComPtr<IBaseFilter> owner(info.pFilter);
        EXPECT_EQ(owner.Get(), filter);
    }
    filter->Release();
}

INSTANTIATE_TEST_SUITE_P(Table, FindPinCase, ::testing::ValuesIn(pinCases),
                         [](const ::testing::TestParamInfo<PinCase>& info) {
                             return std::string(info.param.filter) +
                                    (info.param.direction == PINDIR_INPUT ? "_input_" : "_output_") +
                                    (info.param.index < 0 ? "minus" + std::to_string(-info.param.index)
                                                          : std::to_string(info.param.index));
                         });

TEST(FindPin, SplitterOutputAppearsOnlyOnceItsInputKnowsTheStream) {
    // Why Open looks up the system splitter's output pin only after connecting its input.
    IBaseFilter* splitter = CreateFilter(CLSID_MPEG1Splitter);
    ASSERT_NE(splitter, nullptr);
    EXPECT_TRUE(FindPin(splitter, PINDIR_INPUT, 0));
    EXPECT_FALSE(FindPin(splitter, PINDIR_OUTPUT, 0));
    splitter->Release();
}

TEST(FindAudioRenderer, FindsTheDirectSoundRendererOnTheNullDevice) {
    ComPtr<IBaseFilter> renderer = FindAudioRenderer();
    ASSERT_TRUE(renderer) << "no \"Default DirectSound Device\": is ALSA_CONFIG_PATH set?";
    ComPtr<IBasicAudio> audio;
    EXPECT_EQ(QueryInto(renderer.Get(), IID_IBasicAudio, audio), S_OK);
    // Each call hands out a reference of its own.
    EXPECT_TRUE(FindAudioRenderer());
}

TEST(TimeUnits, ReferenceTimeToMillisecondsTruncates) {
    EXPECT_EQ(ReferenceTimeToMs(12345678), 1234);
    EXPECT_EQ(ReferenceTimeToMs(9999), 0);
    EXPECT_EQ(ReferenceTimeToMs(10000), 1);
    EXPECT_EQ(ReferenceTimeToMs(0), 0);
    EXPECT_EQ(ReferenceTimeToMs(-9999), 0);                // toward zero
    EXPECT_EQ(ReferenceTimeToMs(36000000000LL), 3600000);  // an hour
}

TEST(TimeUnits, MillisecondsToReferenceTimeDoesNotOverflow) {
    EXPECT_EQ(MsToReferenceTime(1234), 12340000);
    EXPECT_EQ(MsToReferenceTime(0), 0);
    EXPECT_EQ(MsToReferenceTime(INT_MAX), 21474836470000LL);
    EXPECT_EQ(ReferenceTimeToMs(MsToReferenceTime(3600000)), 3600000);
}

// Segment starts are frame starts in 100 ns, rounded either way by whoever converted them; the
// target is a marked point of whole milliseconds, heard from the PCM frame it falls in.
struct CutCase {
    REFERENCE_TIME segmentStart, target;
    int rate;
    LONGLONG segmentFirst, keepFrom;
};
const CutCase cutCases[] = {
    {18808163, 19450000, 44100, 82944, 85774},  // frame 72 of 1152 (1880.8163 ms), A at 1945 ms
    {2612244, 3000000, 22050, 5760, 6615},      // frame 10 of 576, its start rounded down
    {2612245, 3000000, 22050, 5760, 6615},      // and up
    {0, 0, 44100, 0, 0},                        // from the start of the file
    {10000000, 0, 44100, 44100, 44100},         // a segment that starts after the target: all of it
    {-261224, 0, 44100, -1152, 0},              // a stream stamped before its start
};

TEST(CutSegment, KeepsFromTheTargetsFrameCountedFromTheSegmentsFirst) {
    for (const CutCase& c : cutCases) {
        const SegmentCut cut = CutSegment(c.segmentStart, c.target, c.rate);
        EXPECT_EQ(c.segmentFirst, cut.segmentFirst) << c.segmentStart << " at " << c.rate;
        EXPECT_EQ(c.keepFrom, cut.keepFrom) << c.target << " at " << c.rate;
    }
}

}  // namespace
