// Building real playback graphs around the parser filter for the tests: file source,
// parser, the platform's MP3 decoder and the DirectSound renderer, connected pin to pin.
#pragma once
#include <windows.h>
#include <dshow.h>

#include <string>

#include "mp3/frame_index.h"
#include "parser/parser_ids.h"
#include "tests/fixtures/fixture_path.h"

namespace parser_test {

using clipvane_parser::kMediaSubtypeMp3;
using clipvane_parser::kMp3DecoderClsid;
using clipvane_parser::kParserClsid;

// The frame index of a fixture, built natively with the MP3 library: the reference the
// filter's timeline must agree with.
bool IndexFixture(const char* name, mp3::FrameIndex& index);
// The same for a file given by its Windows path (Z:\... reaches the Unix side).
bool IndexPath(const std::wstring& path, mp3::FrameIndex& index);
// Duration of one frame of the stream, in 100-ns units.
LONGLONG FrameUnits(const mp3::FrameIndex& index);

IBaseFilter* FindDirectSoundRenderer();
IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION direction);

template <class T>
void SafeRelease(T*& pointer) {
    if (pointer) pointer->Release();
    pointer = nullptr;
}

// One graph; every interface is released by TearDown (also called by the destructor).
struct TestGraph {
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaEvent* events = nullptr;
    IBaseFilter* source = nullptr;
    IBaseFilter* parser = nullptr;
    IBaseFilter* decoder = nullptr;
    IBaseFilter* renderer = nullptr;

    ~TestGraph() { TearDown(); }
    // Creates the graph with source and parser and loads the file; no pins connected.
    HRESULT Create(const std::wstring& path);
    // Source output -> parser input.
    HRESULT ConnectSource();
    // Parser output -> decoder input, decoder output -> renderer input.
    HRESULT ConnectPlayback();
    // All of the above.
    HRESULT Build(const std::wstring& path);
    // The parser's output pin's IMediaSeeking (owned by the caller).
    IMediaSeeking* ParserSeeking();
    // Waits for an event code; false on timeout. Other events are discarded.
    bool WaitForEvent(long code, DWORD timeoutMs);
    // Position of the graph in milliseconds.
    LONGLONG PositionMs();
    // Stops (unless told not to), removes the filters and releases everything.
    void TearDown(bool stopFirst = true);
};

// Resource counts of this process, to catch leaked threads and handles.
DWORD ProcessThreadCount();
DWORD ProcessHandleCount();

}  // namespace parser_test
