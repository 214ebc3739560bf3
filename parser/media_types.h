// AM_MEDIA_TYPE helpers (the filter allocates and frees format blocks with the task
// allocator, as DirectShow requires) and the media types the parser accepts and offers.
#pragma once
#include <windows.h>
#include <dshow.h>

#include "win32/filter_answers.h"

namespace mp3 {
struct FrameHeader;
}

namespace clipvane_parser {

// A task-allocated copy, as IEnumMediaTypes::Next hands out; null when out of memory.
AM_MEDIA_TYPE *NewMediaTypeCopy(const AM_MEDIA_TYPE &source);

// The input side: a byte stream from a file source; the subtype is whatever the source
// guessed (often none), because the content is checked by scanning it.
bool IsAcceptableInputType(const AM_MEDIA_TYPE &type);

// The compressed audio type the output pin offers for a stream whose first frame is
// `header`: Layer III as WAVE_FORMAT_MPEGLAYER3, Layers I and II as MPEG1WAVEFORMAT.
HRESULT BuildOutputType(const mp3::FrameHeader &header, AM_MEDIA_TYPE &type);

// True when `type` matches `offered` in major type, subtype and format block.
bool SameMediaType(const AM_MEDIA_TYPE &type, const AM_MEDIA_TYPE &offered);

// Partial types (GUID_NULL fields) match anything in those fields.
bool MatchesPartialType(const AM_MEDIA_TYPE &candidate, const AM_MEDIA_TYPE &partial);

}  // namespace clipvane_parser
