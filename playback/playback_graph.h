// One MP3 file played through a DirectShow graph assembled by hand:
// file source -> MP3 parser (ours or the system's MPEG-1 splitter) -> MP3 decoder -> lead trimmer
// -> DirectSound renderer.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "parser/parser_ids.h"
#include "win32/scoped.h"

enum SplitterKind { PreferredParser, Mpeg1Splitter };
enum FilterCheckResult { Missing = -1, SystemBroken = 0, Ok = 1 };

inline constexpr const CLSID& CLSID_PreferredParser = clipvane_parser::kParserClsid;
inline constexpr const CLSID& CLSID_Mp3Decoder = clipvane_parser::kMp3DecoderClsid;

class PlaybackGraph {
public:
    // The graph's events are announced by posting `notifyMessage` to `notifyWindow` (none when null).
    explicit PlaybackGraph(HWND notifyWindow = nullptr, UINT notifyMessage = 0)
        : notifyWindow_(notifyWindow), notifyMessage_(notifyMessage) {}

    // The first failing HRESULT of the build, S_OK once built.
    HRESULT Open(const wchar_t* path, SplitterKind kind);
    void Close();
    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    // What is being heard.
    int GetPositionMs();
    // What has surely gone out to the sound device, counted from the latest a segment's sound may
    // start: heard in full even when a seek follows at once.
    int GetOutputPositionMs();
    int GetStopMs();
    bool IsAtEnd();
    HRESULT SetVolume(long volume);
    void SeekMs(int ms);
    IMediaEventEx* Events() const { return mediaEvents; }
    static FilterCheckResult CheckFilters();

    ComPtr<IMediaEventEx> mediaEvents;
    ComPtr<IGraphBuilder> graphBuilder;
    ComPtr<IMediaControl> mediaControl;
    ComPtr<IMediaSeeking> mediaSeeking;
    BOOL built = FALSE;
    ComPtr<IBasicAudio> basicAudio;
    ComPtr<IBaseFilter> sourceFilter;
    ComPtr<IBaseFilter> splitterFilter;
    ComPtr<IBaseFilter> decoderFilter;
    ComPtr<IBaseFilter> trimmerFilter;
    ComPtr<IBaseFilter> rendererFilter;

private:
    HRESULT CreateFilters(const wchar_t* path, SplitterKind kind);
    HRESULT ConnectFilters(SplitterKind kind);
    // Takes the filters out of the graph and drops every reference, in the order the graph was built.
    void TearDown(bool filtersAdded);
    // The media time the renderer presents: from the trimmer, which knows the segment it hands the
    // renderer and the start time the graph gave the filters.
    LONGLONG OutputPosition();
    // That position less a delay of the sound on its way out, while it sounds; never before the
    // point where the sound rests.
    LONGLONG OutputPositionLess(LONGLONG delay);
    HRESULT RunOnceCued();
    // Where the sound stands while a start has not reached the ear yet.
    void RestHere();

    // The trimmer's output pin, whose position is the one the renderer presents.
    ComPtr<IMediaSeeking> outputPosition_;
    // Sound is on its way to the ear: the heard position lags the output by OutputLatency().
    bool sounding_ = false;
    LONGLONG restingAt_ = 0;
    HWND notifyWindow_;
    UINT notifyMessage_;
};

// The default DirectSound renderer, or null.
ComPtr<IBaseFilter> FindAudioRenderer();
// The index-th pin of the given direction, or null.
ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index);

// How far the sound heard lags the graph's position (output_latency.cpp).
LONGLONG OutputLatency();
// How much later than the graph's position a segment may begin to go out (output_latency.cpp).
LONGLONG OutputStartSlack();
// True under Wine (its ntdll exports wine_get_version).
bool RunningUnderWine();
// Under Wine, starts the default sound device once and keeps it running (sound_device_keeper.cpp).
void KeepSoundDeviceRunning();

// Reference time (100 ns) and milliseconds.
inline int ReferenceTimeToMs(LONGLONG t) { return static_cast<int>(t / 10 / 1000); }
inline LONGLONG MsToReferenceTime(int ms) { return static_cast<LONGLONG>(ms) * 10000; }
