// The performance counter in milliseconds: for timing spans, never for dates
// (its origin is the machine's start, and it does not follow clock changes).
#pragma once
#include <windows.h>

inline LARGE_INTEGER CounterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

inline double CounterMs(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) / ticksPerMs;
}

// Milliseconds since the counter's origin: differences of two are spans.
inline double CounterMs() { return CounterMs(LARGE_INTEGER{}, CounterNow()); }
