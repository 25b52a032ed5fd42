#pragma once
// The performance counter, the clock the program paces its stream by; the
// harness stamps arrivals and events with it. Any thread.

#include <windows.h>

#include <cstdint>

namespace measure {

using Ticks = std::int64_t;

inline Ticks now() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

inline double ticksPerSecond() {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
}

inline double secondsBetween(Ticks from, Ticks to) { return static_cast<double>(to - from) / ticksPerSecond(); }

}  // namespace measure
