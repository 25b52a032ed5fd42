#pragma once
// The block clock of the clock-drift simulation: a counter at 10 MHz (what
// QueryPerformanceFrequency reports on current Windows) that moves only while
// the mixer sleeps, and hands the source every packet that its worker would
// have taken meanwhile, so the mixer's next reading sees exactly those.
//
// A sleep of n ms lasts n ms plus the rest of the timer's 1 ms tick (0 to
// 1 ms), and one sleep in 100 lasts 1 to 5 ms more than that (the thread
// was not scheduled at once). runBlockSchedule wakes at the first reading at
// or past the due count, so these are how late a block is gathered.
//
// With `coarseTimer`, a sleep ends instead at the first tick of a 15.625 ms
// timer (64 Hz, Windows' default resolution) at or after the time asked for,
// plus the same rare scheduling delay: blocks then go out up to about 20 ms
// late, two at a time.
//
// The clock interface that runBlockSchedule takes: frequency(), now(),
// sleep(ms). Threads: the simulation's one thread.

#include "DriftingSource.h"
#include "SeededRandom.h"

#include <cstdint>

class SimulatedCounter {
public:
    static constexpr std::int64_t countsPerSecond = 10'000'000;

    static constexpr std::int64_t coarseTick = 156'250;

    SimulatedCounter(DriftingSource& source, std::uint64_t seed, bool coarseTimer = false)
        : source(source), random(seed), coarseTimer(coarseTimer) {}

    std::int64_t frequency() const { return countsPerSecond; }
    std::int64_t now() const { return time; }

    void sleep(std::int64_t milliseconds) {
        double lateMs = coarseTimer ? 0.0 : random.uniform(0.0, 1.0);
        if (random.oneIn(100)) {
            lateMs += random.uniform(1.0, 5.0);
        }
        time += milliseconds * (countsPerSecond / 1000);
        if (coarseTimer) {
            time = (time + coarseTick - 1) / coarseTick * coarseTick;
        }
        time += static_cast<std::int64_t>(lateMs * 1e-3 * countsPerSecond);
        source.deliverUntil(time);
    }

private:
    DriftingSource& source;
    SeededRandom random;
    bool coarseTimer;
    std::int64_t time = 0;
};
