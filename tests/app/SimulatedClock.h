#pragma once
// A clock for the block schedule that only moves when told: a sleep advances
// it by the milliseconds asked for plus whatever `oversleep` adds (a
// system's coarse timer), and a test may jump it forward itself (a stall).

#include <cstdint>
#include <functional>

struct SimulatedClock {
    SimulatedClock(std::int64_t counts, std::int64_t start) : counts(counts), time(start) {}

    std::int64_t counts;        // counts per second
    std::int64_t time;          // current count
    std::int64_t reads = 0;
    std::int64_t sleepCalls = 0;
    std::int64_t shortestSleep = INT64_MAX;
    // Extra counts a sleep of `ms` lasts beyond ms; may be negative (a sleep
    // that ends early).
    std::function<std::int64_t(std::int64_t ms)> oversleep;

    std::int64_t frequency() { return counts; }
    std::int64_t now() {
        ++reads;
        return time;
    }
    void sleep(std::int64_t ms) {
        ++sleepCalls;
        shortestSleep = ms < shortestSleep ? ms : shortestSleep;
        time += ms * counts / 1000 + (oversleep ? oversleep(ms) : 0);
    }
    void advanceMilliseconds(std::int64_t ms) { time += ms * counts / 1000; }
};
