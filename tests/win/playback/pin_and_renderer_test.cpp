// The free functions of the playback module: pin lookup by direction and index, the
// renderer lookup, and the conversions between reference time and milliseconds.
#include <climits>

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

}  // namespace
