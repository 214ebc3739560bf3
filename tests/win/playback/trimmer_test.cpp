// The trimmer in a real graph: file source -> our parser -> the platform's MP3 decoder -> the
// trimmer -> the platform's sample grabber -> null renderer, without a clock so that it runs as
// fast as it can. A segment that starts at a target is handed on from the target's own sample,
// stamped from 0, and equals the file's plain decode from there: neither the decoder's lead nor
// the part of the target's frame before the target, nothing damaged.
#include <qedit.h>

#include <vector>

#include "playback/lead_trimmer.h"
#include "win32/filter_answers.h"
#include "tests/win/playback/graph_tests.h"
#include "tests/win/player/loop_recording.h"

namespace {

// Not in MinGW's qedit.h.
const CLSID CLSID_SampleGrabberFilter = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID CLSID_NullRendererFilter = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
// Wine's decoder matches mpg123 to 1 LSB.
constexpr int decodeTolerance = 1;

// What the grabber saw: the first sample's start time and every sample's PCM, in order.
class Recorder final : public ISampleGrabberCB {
public:
    Recorder() { InitializeCriticalSection(&lock_); }
    ~Recorder() { DeleteCriticalSection(&lock_); }
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
        *result = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB) ? this : nullptr;
        return *result ? S_OK : E_NOINTERFACE;
    }
    // Lives on the test's stack, longer than the graph.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
        BYTE* data = nullptr;
        REFERENCE_TIME start = 0, stop = 0;
        if (FAILED(sample->GetPointer(&data))) return S_OK;
        const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
        CriticalSectionLock hold(lock_);
        if (samples_++ == 0) firstStart_ = timed ? start : -1;
        const auto* pcm = reinterpret_cast<const int16_t*>(data);
        pcm_.insert(pcm_.end(), pcm, pcm + sample->GetActualDataLength() / sizeof(int16_t));
        return S_OK;
    }
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return S_OK; }

    size_t Values() {
        CriticalSectionLock hold(lock_);
        return pcm_.size();
    }
    std::vector<int16_t> pcm_;
    REFERENCE_TIME firstStart_ = -1;

private:
    CRITICAL_SECTION lock_;
    int samples_ = 0;
};

ComPtr<IBaseFilter> Create(const CLSID& clsid) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid());
    return filter;
}

struct TrimCase {
    const wchar_t* fixture;  // pink noise and its plain decode (.raw)
    int rate, channels;
    int targetMs;
};
const TrimCase trimCases[] = {
    {L"pink-cbr", 44100, 2, 3217},
    {L"pink-vbr", 44100, 2, 1945},
    {L"pink-22k", 22050, 1, 2603},
};

TEST(LeadTrimmer, HandsOnASegmentFromItsTargetAsThePlainDecodeHasIt) {
    for (const TrimCase& c : trimCases) {
        SCOPED_TRACE(Narrow(c.fixture));
        const std::vector<int16_t> decode =
            ReadRawPcm(FixturePath((std::wstring(c.fixture) + L".raw").c_str()), c.rate, c.channels).samples;
        ASSERT_GT(decode.size(), size_t(c.rate) * c.channels * 5);
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         graph.PutVoid()));
        ComPtr<IBaseFilter> source = Create(CLSID_AsyncReader), parser = Create(CLSID_PreferredParser),
                            decoder = Create(CLSID_Mp3Decoder), trimmer = CreateLeadTrimmer(),
                            grabber = Create(CLSID_SampleGrabberFilter), sink = Create(CLSID_NullRendererFilter);
        ASSERT_TRUE(source && parser && decoder && trimmer && grabber && sink);
        ComPtr<IFileSourceFilter> file;
        ASSERT_EQ(S_OK, QueryInto(source.Get(), IID_IFileSourceFilter, file));
        ASSERT_EQ(S_OK, file->Load(FixturePath((std::wstring(c.fixture) + L".mp3").c_str()).c_str(), nullptr));
        IBaseFilter* chain[] = {source, parser, decoder, trimmer, grabber, sink};
        for (IBaseFilter* filter : chain) ASSERT_EQ(S_OK, graph->AddFilter(filter, nullptr));
        ComPtr<ISampleGrabber> grabbing;
        ASSERT_EQ(S_OK, QueryInto(grabber.Get(), IID_ISampleGrabber, grabbing));
        AM_MEDIA_TYPE audio = {};
        audio.majortype = MEDIATYPE_Audio;
        grabbing->SetMediaType(&audio);
        Recorder recorder;
        grabbing->SetCallback(&recorder, 0);
        for (size_t i = 0; i + 1 < std::size(chain); ++i) {
            ComPtr<IPin> out = FindPin(chain[i], PINDIR_OUTPUT, 0), in = FindPin(chain[i + 1], PINDIR_INPUT, 0);
            ASSERT_TRUE(out && in) << i;
            // The grabber offers only the types of its input's peer, and the trimmer proposes none:
            // the null renderer is handed the type the grabber took.
            AM_MEDIA_TYPE taken = {};
            const bool last = i + 2 == std::size(chain);
            ComPtr<IPin> grabberIn = FindPin(grabber, PINDIR_INPUT, 0);
            if (last) ASSERT_EQ(S_OK, grabberIn->ConnectionMediaType(&taken));
            ASSERT_EQ(S_OK, graph->ConnectDirect(out, in, last ? &taken : nullptr)) << i;
            FreeMediaTypeFields(taken);
        }
        ComPtr<IMediaFilter> timing;
        ASSERT_EQ(S_OK, QueryInto(graph.Get(), IID_IMediaFilter, timing));
        timing->SetSyncSource(nullptr);
        ComPtr<IMediaSeeking> seeking;
        ASSERT_EQ(S_OK, QueryInto(graph.Get(), IID_IMediaSeeking, seeking));
        LONGLONG target = MsToReferenceTime(c.targetMs);
        ASSERT_EQ(S_OK, seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
        ComPtr<IMediaControl> control;
        ASSERT_EQ(S_OK, QueryInto(graph.Get(), IID_IMediaControl, control));
        control->Run();
        const size_t wanted = size_t(c.rate) * c.channels;  // a second
        const DWORD began = GetTickCount();
        while (recorder.Values() < wanted && GetTickCount() - began < settleTimeoutMs) Sleep(10);
        control->Stop();
        for (IBaseFilter* filter : chain) graph->RemoveFilter(filter);

        ASSERT_GE(recorder.pcm_.size(), wanted);
        EXPECT_EQ(0, recorder.firstStart_);
        const size_t from = size_t(int64_t(c.targetMs) * c.rate / 1000) * c.channels;
        size_t differing = 0, first = wanted;
        for (size_t i = 0; i < wanted; ++i) {
            if (std::abs(recorder.pcm_[i] - decode[from + i]) <= decodeTolerance) continue;
            if (differing++ == 0) first = i;
        }
        EXPECT_EQ(0u, differing) << "first at value " << first << " of " << wanted;
    }
}

}  // namespace
