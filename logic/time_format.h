// Milliseconds as the panels show them: hours:minutes:seconds, optionally .milliseconds.
#pragma once
#include <cstddef>

// Writes "hh:mm:ss" or "hh:mm:ss.fff" (truncated, hours not wrapped, a negative count as all
// zeros) into `buffer` of `units` characters, cut short if it does not fit; returns `buffer`.
wchar_t* FormatTimeMs(int ms, bool withMillis, wchar_t* buffer, size_t units);
