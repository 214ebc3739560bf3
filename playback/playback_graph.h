// One MP3 file played through a DirectShow graph assembled by hand:
// file source -> MP3 parser (ours or the system's MPEG-1 splitter) -> MP3 decoder -> DirectSound renderer.
#pragma once

#include <windows.h>
#include <initializer_list>
#include <dshow.h>

enum SplitterKind { PreferredParser, Mpeg1Splitter };
enum FilterCheckResult { Missing = -1, SystemBroken = 0, Ok = 1 };

// {13CEBFE0-256B-44BA-A27B-9F85CBDB972D}: the project's own MP3 parser filter.
extern const CLSID CLSID_PreferredParser;
// {38BE3000-DBF4-11D0-860E-00A024CFEF6D}: the platform's MP3 decoder.
extern const CLSID CLSID_Mp3Decoder;

class PlaybackGraph {
public:
    HRESULT Open(const wchar_t* path, SplitterKind kind);
    void Close();
    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    int GetPositionMs();
    int GetStopMs();
    bool IsAtEnd();
    HRESULT SetVolume(long volume);
    void SeekMs(int ms);
    IMediaEventEx* Events() const { return mediaEvents; }
    static FilterCheckResult CheckFilters();

    IMediaEventEx* mediaEvents = nullptr;
    IGraphBuilder* graphBuilder = nullptr;
    IMediaControl* mediaControl = nullptr;
    IMediaSeeking* mediaSeeking = nullptr;
    BOOL built = FALSE;
    IBasicAudio* basicAudio = nullptr;
    IBaseFilter* sourceFilter = nullptr;
    IBaseFilter* splitterFilter = nullptr;
    IBaseFilter* decoderFilter = nullptr;
    IBaseFilter* rendererFilter = nullptr;

private:
    // Drops every reference held, in the order the graph was built, and leaves the object unbuilt.
    void ReleaseAll();
};

// The default DirectSound renderer, or null; the caller releases it.
IBaseFilter* FindAudioRenderer();
// The index-th pin of the given direction, or null; the caller releases it.
IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index);

// Reference time (100 ns) and milliseconds.
inline int ReferenceTimeToMs(LONGLONG t) { return static_cast<int>(t / 10 / 1000); }
inline LONGLONG MsToReferenceTime(int ms) { return static_cast<LONGLONG>(ms) * 10000; }
