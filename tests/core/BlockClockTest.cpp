// The block clock on a simulated counter that moves only when slept on or
// stalled by the test.

#include "app/BlockSchedule.h"

#include <gtest/gtest.h>

#include <algorithm>

// A sleep lasts what was asked (a sleep of 0 as long as 1 ms, so that a loop
// that asks for one still ends) plus, with a coarse timer, 0 to oversleepMs more.
struct SimulatedClock {
    std::int64_t counts, time, oversleepMs = 0, sleeps = 0, shortestSleep = INT64_MAX;
    std::int64_t frequency() const { return counts; }
    std::int64_t now() const { return time; }
    void sleep(std::int64_t ms) {
        shortestSleep = std::min(shortestSleep, ms);
        time += (std::max<std::int64_t>(ms, 1) + sleeps++ % (oversleepMs + 1)) * counts / 1000;
    }
};

TEST(BlockClock, EveryBlockAtTheFirstReadingPastItsAbsoluteDueTime) {
    struct Case { std::int64_t counts, start, oversleepMs, lastBlock; };
    const Case cases[] = {
        {10'000'000, 123'456'789, 0, 1'000},
        {3'579'545, 1'000, 15, 360'000},  // an hour, at a rate no multiple of 100, on a coarse timer
        {24'000'000, 0, 3, 360'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        SimulatedClock clock{c.counts, c.start, c.oversleepMs};
        std::int64_t sleepsBeforeFirst = -1, early = 0, worstLate = 0;
        runBlockSchedule(clock, [&](std::int64_t k) {
            sleepsBeforeFirst = k == 0 ? clock.sleeps : sleepsBeforeFirst;
            const std::int64_t due = c.start + k * c.counts / 100;  // k x 10 ms, exactly
            early += clock.time < due;
            worstLate = std::max(worstLate, clock.time - due);
            return k < c.lastBlock;
        });
        EXPECT_EQ(sleepsBeforeFirst, 0);  // block 0 at once
        EXPECT_EQ(early, 0);
        EXPECT_LE(worstLate, (c.oversleepMs + 1) * c.counts / 1000);  // so no drift over the hour
        EXPECT_GE(clock.shortestSleep, 1);
    }
}

TEST(BlockClock, OwedBlocksGoOutBackToBackAfterAStall) {
    struct Case { std::int64_t stallMs, backToBack; };
    const Case cases[] = {{1'000, 100}, {25, 2}, {5, 0}};
    for (const Case& c : cases) {
        SimulatedClock clock{10'000'000, 0};
        std::int64_t sleepsAtLast = 0, backToBack = 0;  // blocks that went out with no sleep before them
        runBlockSchedule(clock, [&](std::int64_t k) {
            backToBack += k > 0 && clock.sleeps == sleepsAtLast;
            sleepsAtLast = clock.sleeps;
            clock.time += k == 5 ? c.stallMs * 10'000 : 0;  // the write of block 5 blocked
            return k < 200;
        });
        EXPECT_EQ(backToBack, c.backToBack) << "stall of " << c.stallMs << " ms";
    }
}
