// The block schedule on a simulated clock, and the mixer loop around it.

#include "app/BlockSchedule.h"
#include "app/MixerLoop.h"
#include "SimulatedClock.h"
#include "TestSources.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

namespace {

constexpr std::int64_t qpcTenMegahertz = 10'000'000;
constexpr std::int64_t acpiTimer = 3'579'545;  // not a multiple of 100

TEST(BlockSchedule, WaitIsWholeMillisecondsButAtLeastOne) {
    struct Case {
        std::int64_t countsLeft;
        std::int64_t frequency;
        std::int64_t ms;
    };
    const Case cases[] = {
        {1, qpcTenMegahertz, 1},          {9'999, qpcTenMegahertz, 1},
        {19'999, qpcTenMegahertz, 1},     {20'000, qpcTenMegahertz, 2},
        {99'999, qpcTenMegahertz, 9},     {100'000, qpcTenMegahertz, 10},
        {7'159, acpiTimer, 1},            {7'160, acpiTimer, 2},
        {35'795, acpiTimer, 9},           {10'000'000'000, qpcTenMegahertz, 1'000'000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(waitMilliseconds(1'000'000 + c.countsLeft, 1'000'000, c.frequency), c.ms)
            << c.countsLeft << " counts at " << c.frequency;
    }
}

TEST(BlockSchedule, BlockZeroGoesOutAtOnce) {
    SimulatedClock clock{qpcTenMegahertz, 123'456'789};
    std::int64_t firstBlockTime = -1;
    runBlockSchedule(clock, [&](std::int64_t) {
        firstBlockTime = clock.time;
        return false;
    });
    EXPECT_EQ(firstBlockTime, 123'456'789);
    EXPECT_EQ(clock.sleepCalls, 0);
}

TEST(BlockSchedule, EachBlockAtTheFirstReadingPastItsDueCount) {
    // Sleeps that end early as well as late: a block must still never go out
    // before it is due, never late by more than one sleep's error, and the
    // loop must never sleep for 0 ms.
    SimulatedClock clock{acpiTimer, 1'000};
    std::int64_t step = 0;
    clock.oversleep = [&](std::int64_t ms) {
        const std::int64_t errors[] = {0, -ms * acpiTimer / 2000, acpiTimer / 1000, 3 * acpiTimer / 1000, -1};
        return errors[step++ % 5];
    };
    std::int64_t worstLateness = 0;
    runBlockSchedule(clock, [&](std::int64_t k) {
        const std::int64_t due = blockDue(1'000, k, acpiTimer);
        EXPECT_GE(clock.time, due) << "block " << k;
        worstLateness = std::max(worstLateness, clock.time - due);
        return k < 2'000;
    });
    EXPECT_GE(clock.shortestSleep, 1);
    EXPECT_LE(worstLateness, 4 * acpiTimer / 1000);
}

TEST(BlockSchedule, AStallIsMadeUpByExactlyOneHundredBackToBackBlocks) {
    SimulatedClock clock{qpcTenMegahertz, 0};
    std::vector<std::int64_t> sleepsBefore;  // sleep calls before each block
    runBlockSchedule(clock, [&](std::int64_t k) {
        sleepsBefore.push_back(clock.sleepCalls);
        if (k == 5) {
            clock.advanceMilliseconds(1'000);  // the write blocked for 1 s
        }
        return k < 300;
    });
    ASSERT_EQ(sleepsBefore.size(), 301u);
    std::size_t backToBack = 0;
    for (std::size_t k = 6; k < sleepsBefore.size() && sleepsBefore[k] == sleepsBefore[5]; ++k) {
        ++backToBack;
    }
    EXPECT_EQ(backToBack, 100u);
    // After the catch-up the loop sleeps before every block again.
    for (std::size_t k = 107; k < sleepsBefore.size(); ++k) {
        ASSERT_GT(sleepsBefore[k], sleepsBefore[k - 1]) << "block " << k;
    }
}

TEST(BlockSchedule, CountFollowsElapsedTimeOverAnHour) {
    // A coarse timer (sleeps last up to 15 ms longer) and a scan that holds
    // the mixer up for 700 ms every 2 s: neither may cost or add a block.
    SimulatedClock clock{acpiTimer, 42};
    std::int64_t step = 0;
    clock.oversleep = [&](std::int64_t) { return (step++ % 16) * acpiTimer / 1000; };
    std::int64_t written = 0;
    bool allInTime = true;
    runBlockSchedule(clock, [&](std::int64_t k) {
        ++written;
        const std::int64_t due = blockDue(42, k, acpiTimer);
        allInTime = allInTime && clock.time >= due && clock.time - due <= acpiTimer;  // within 1 s
        if (k % 200 == 0) {
            clock.advanceMilliseconds(700);
        }
        return k < 360'000;
    });
    EXPECT_TRUE(allInTime);
    EXPECT_EQ(written, 360'001);
    const std::int64_t elapsed = clock.time - 42;
    EXPECT_GE(elapsed, 3600 * acpiTimer);
    EXPECT_LT(elapsed, 3600 * acpiTimer + acpiTimer);  // the last stall and sleep, no more
}

// Records every block the mixer loop delivers and how often the clock had
// been read by then; fails the write numbered `failAt` (from 0) when set.
struct RecordingOutput {
    RecordingOutput(SimulatedClock& clock, std::int64_t failAt) : clock(clock), failAt(failAt) {}
    SimulatedClock& clock;
    std::int64_t failAt;
    std::vector<MixBuffer> blocks;
    std::int64_t readsAtLastWrite = 0;
    bool write(const MixBuffer& block) {
        blocks.push_back(block);
        readsAtLastWrite = clock.reads;
        return static_cast<std::int64_t>(blocks.size()) - 1 != failAt;
    }
};

TEST(MixerLoop, AShortWriteEndsTheLoop) {
    SimulatedClock clock{qpcTenMegahertz, 0};
    RecordingOutput output{clock, 3};
    std::mutex mapLock;
    TestSources sources;
    runMixer(clock, output, mapLock, sources);
    EXPECT_EQ(output.blocks.size(), 4u);
    EXPECT_EQ(clock.reads, output.readsAtLastWrite) << "the clock was read after the failed write";
    EXPECT_TRUE(mapLock.try_lock()) << "the source-map lock was left held";
    mapLock.unlock();
}

TEST(MixerLoop, BlocksAreClearedGatheredAndClampedEachTime) {
    SimulatedClock clock{qpcTenMegahertz, 0};
    RecordingOutput output{clock, 2};
    std::mutex mapLock;
    TestSources sources;
    std::vector<float> first(1'200, 0.25f);
    first[0] = 0.75f;
    first[1] = -0.75f;
    appendAll(addSource(sources, 4).fifo, first);
    appendAll(addSource(sources, 9).fifo, {0.75f, -0.5f, -0.5f});

    runMixer(clock, output, mapLock, sources);

    ASSERT_EQ(output.blocks.size(), 3u);
    const MixBuffer& b0 = output.blocks[0];
    EXPECT_EQ(b0[0], 1.0f);   // 0.75 + 0.75, clamped
    EXPECT_EQ(b0[1], -1.0f);  // -0.75 - 0.5, clamped
    EXPECT_EQ(b0[2], -0.25f);  // 0.25 - 0.5
    EXPECT_EQ(b0[959], 0.25f);
    const MixBuffer& b1 = output.blocks[1];
    for (std::size_t i = 0; i < samplesPerBlock; ++i) {
        ASSERT_EQ(b1[i], i < 240 ? 0.25f : 0.0f) << "position " << i;
    }
    for (float x : output.blocks[2]) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(x), 0u) << "silence must be +0.0";
    }
}

}  // namespace
