// IEnumPins over the filter's two pins and IEnumMediaTypes over a snapshot of types.
#pragma once
#include <windows.h>
#include <dshow.h>

namespace clipvane_parser {

class ParserFilter;

HRESULT CreatePinEnumerator(ParserFilter &filter, ULONG position, IEnumPins **result);
// Copies `count` types; the enumerator hands out task-allocated copies.
HRESULT CreateMediaTypeEnumerator(const AM_MEDIA_TYPE *types, ULONG count, ULONG position, IEnumMediaTypes **result);

}  // namespace clipvane_parser
