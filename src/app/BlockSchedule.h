#pragma once
// The block clock: when each output block is due and how the main thread
// waits for it.
//
// OS-free. The clock is a parameter with three members,
//   std::int64_t frequency()  counts per second, read once
//   std::int64_t now()        the current count
//   void sleep(std::int64_t milliseconds)
// so the schedule runs on the performance counter in the program and on a
// simulated clock in tests. Runs on the calling thread only.
//
// Due counts are absolute (start + k * freq / 100), never accumulated from
// the last block, so a late block makes no later one late: blocks that fell
// behind go out back to back until the index has caught up with the clock,
// and the long-run rate stays exactly 100 blocks per second of the counter.

#include <cstdint>

inline constexpr std::int64_t blocksPerSecond = 100;

// When block `k` is due: the product first, then the division, so that no
// rounding error builds up over a long run.
constexpr std::int64_t blockDue(std::int64_t start, std::int64_t k, std::int64_t frequency) {
    return start + (k * frequency) / blocksPerSecond;
}

// How long to sleep while `now` is before `due`: the whole milliseconds left,
// but never less than 1 ms (a wait below 2 ms sleeps 1 ms and looks again),
// so the loop never spins.
constexpr std::int64_t waitMilliseconds(std::int64_t due, std::int64_t now, std::int64_t frequency) {
    const std::int64_t ms = ((due - now) * 1000) / frequency;
    return ms >= 2 ? ms : 1;
}

// Calls `block(k)` for k = 0, 1, 2, ... each at the first clock reading at
// or past its due count; block 0 at once. Returns when `block` returns false.
template <class Clock, class Block>
void runBlockSchedule(Clock& clock, Block&& block) {
    const std::int64_t frequency = clock.frequency();
    const std::int64_t start = clock.now();
    for (std::int64_t k = 0;; ++k) {
        const std::int64_t due = blockDue(start, k, frequency);
        for (std::int64_t now = clock.now(); now < due; now = clock.now()) {
            clock.sleep(waitMilliseconds(due, now, frequency));
        }
        if (!block(k)) {
            return;
        }
    }
}
