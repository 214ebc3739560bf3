// Class identifiers and media subtypes of the parser filter and its neighbours that the MinGW
// headers and import libraries do not provide; the program and the tests use these too.
#pragma once
#include <windows.h>

namespace clipvane_parser {

// The parser filter itself.
constexpr CLSID kParserClsid = {0x13CEBFE0, 0x256B, 0x44BA, {0xA2, 0x7B, 0x9F, 0x85, 0xCB, 0xDB, 0x97, 0x2D}};

// The platform's MP3 decoder, the filter the parser's output is made for.
constexpr CLSID kMp3DecoderClsid = {0x38BE3000, 0xDBF4, 0x11D0, {0x86, 0x0E, 0x00, 0xA0, 0x24, 0xCF, 0xEF, 0x6D}};

// Subtype of MPEG audio layer III carried as WAVE_FORMAT_MPEGLAYER3 (the FOURCC-style
// subtype built from the wave format tag 0x0055).
constexpr GUID kMediaSubtypeMp3 = {0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr wchar_t kParserName[] = L"Clipvane MP3 Parser";

}  // namespace clipvane_parser
