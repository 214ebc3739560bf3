#include "logic/time_format.h"

#include <cstdio>

wchar_t* FormatTimeMs(int ms, bool withMillis, wchar_t* buffer, size_t units) {
    if (units == 0) return buffer;
    if (ms < 0) ms = 0;
    int seconds = ms / 1000;
    int hours = seconds / 3600;
    int minutes = (seconds - 3600 * hours) / 60;
    int secondsOfMinute = seconds - 3600 * hours - 60 * minutes;
    int millis = ms - 1000 * seconds;
    // The text is ASCII: formatted narrow, then widened, the same on every platform.
    char text[32];
    if (withMillis)
        std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d.%.3d", hours, minutes, secondsOfMinute, millis);
    else
        std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d", hours, minutes, secondsOfMinute);
    size_t i = 0;
    for (; i + 1 < units && text[i]; ++i) buffer[i] = static_cast<wchar_t>(text[i]);
    buffer[i] = 0;
    return buffer;
}
