// The pace measure the stream scenarios rely on: it must see through jitter
// and a stall that is made up, and must catch blocks skipped or a wrong rate.

#include "harness/Pace.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using blackbox::measurePace;

// Arrival times of a program that writes block i at i x period after 0.5 s,
// each arrival delayed by up to `jitter` seconds.
std::vector<double> schedule(std::size_t blocks, double period, double jitter, unsigned seed = 1) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> late(0.0, jitter);
    std::vector<double> arrivals(blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        arrivals[i] = 0.5 + i * period + late(random);
    }
    return arrivals;
}

TEST(Pace, SeesThroughJitterOnAnExactSchedule) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        auto arrivals = schedule(800, 0.01, 0.040, seed);
        auto pace = measurePace(arrivals, 50, 150, 650, 750);
        EXPECT_NEAR(pace.driftBlocks, 0.0, 1.0) << "seed " << seed;
        EXPECT_GT(pace.secondsElapsed, 4.5);
    }
}

TEST(Pace, AStallThatIsMadeUpCostsNothing) {
    auto arrivals = schedule(1200, 0.01, 0.002);
    // Blocks 300..799 owed during a 5 s stall all arrive at once at 8.5 s.
    for (std::size_t i = 300; i < 800; ++i) {
        arrivals[i] = 8.5 + (i - 300) * 0.0001;
    }
    auto pace = measurePace(arrivals, 100, 200, 1000, 1100);
    EXPECT_NEAR(pace.driftBlocks, 0.0, 0.5);
    auto gap = blackbox::longestGap(arrivals);
    EXPECT_EQ(gap.beforeBlock, 300u);
    EXPECT_NEAR(gap.seconds, 5.0, 0.01);
}

TEST(Pace, CatchesSkippedBlocksAndAWrongRate) {
    // After a 1 s stall the writer restarts its schedule instead of making
    // the 100 owed blocks up.
    auto skipping = schedule(900, 0.01, 0.002);
    for (std::size_t i = 300; i < skipping.size(); ++i) {
        skipping[i] += 1.0;
    }
    EXPECT_NEAR(measurePace(skipping, 100, 200, 700, 800).driftBlocks, -100.0, 0.5);

    // A writer at 99 blocks per second loses a block a second.
    auto slow = schedule(900, 1.0 / 99, 0.002);
    EXPECT_NEAR(measurePace(slow, 0, 100, 700, 800).driftBlocks, -7.0, 0.5);

    // One that writes two blocks in a single slot now and then gains them.
    auto doubled = schedule(900, 0.01, 0.002);
    for (std::size_t i = 400; i < doubled.size(); ++i) {
        doubled[i] -= 0.03;
    }
    EXPECT_NEAR(measurePace(doubled, 0, 100, 700, 800).driftBlocks, 3.0, 0.5);
}

}  // namespace
