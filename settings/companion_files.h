// The files that must lie beside the program: the cutting and repair tools and the libraries
// shipped with them, in the order the start-up check tests them.
#pragma once

#include <iterator>

inline constexpr const wchar_t* companionFiles[] = {
    L"msvcrt.dll",          L"MSVCR70.DLL",       L"mp3val.exe",        L"mp3splt.exe",     L"iconv.dll",
    L"libid3tag.dll",       L"libintl-8.dll",     L"libltdl-7.dll",     L"libmad-0.dll",    L"libmp3splt-0.dll",
    L"libogg-0.dll",        L"libsplt_mp3-0.dll", L"libsplt_ogg-0.dll", L"libvorbis-0.dll", L"libvorbisenc-2.dll",
    L"libvorbisfile-3.dll", L"pcre3.dll",         L"zlib1.dll",
};
inline constexpr size_t companionFileCount = std::size(companionFiles);
