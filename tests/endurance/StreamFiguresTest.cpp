// The figures computed from arrival times and resource samples: schedules
// with known lateness and counts, and resource traces with known growth.

#include "StreamFigures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace measure {
namespace {

// Arrivals of a program whose block 0 came at `start` and block k at
// start + k x 10 ms + late(k).
template <class Late>
std::vector<double> schedule(std::size_t blocks, double start, Late late) {
    std::vector<double> arrivals;
    for (std::size_t k = 0; k < blocks; ++k) arrivals.push_back(start + static_cast<double>(k) * 0.010 + late(k));
    return arrivals;
}

TEST(Quantile, TakesTheNearestRank) {
    const std::vector<double> values{5, 1, 4, 2, 3, 10, 9, 8, 7, 6};
    EXPECT_EQ(quantile(values, 0.5), 5);
    EXPECT_EQ(quantile(values, 0.99), 10);
    EXPECT_EQ(quantile(values, 0.0), 1);
    EXPECT_EQ(quantile(values, 0.1), 1);
    EXPECT_EQ(quantile(values, 0.11), 2);
    EXPECT_EQ(quantile({}, 0.5), 0);
}

TEST(Lateness, IsMeasuredFromTheMostPunctualBlock) {
    constexpr std::size_t anyBlock = ~std::size_t{0};  // equal lateness: which block is the largest is rounding
    struct Case {
        const char* what;
        std::vector<double> arrivals;
        double median, p99, max;
        std::size_t maxAt;
    };
    const Case cases[] = {
        {"exactly on time", schedule(1000, 2.5, [](std::size_t) { return 0.0; }), 0, 0, 0, anyBlock},
        // Block 0 came 8 ms late: the later blocks are what is on time, so
        // block 0 is the late one rather than all the others early.
        {"a late first block", schedule(1000, 2.5, [](std::size_t k) { return k == 0 ? 0.008 : 0.0; }), 0, 0, 8, 0},
        {"every block 3 ms late but one on time",
         schedule(1000, 0, [](std::size_t k) { return k == 500 ? 0.0 : 0.003; }), 3, 3, 3, anyBlock},
        // A 300 ms stall at block 400, then the owed blocks back to back.
        {"a stall made up back to back",
         schedule(1000, 0,
                  [](std::size_t k) {
                      return (k >= 400 && k < 430) ? 0.300 - static_cast<double>(k - 400) * 0.010 : 0.0;
                  }),
         0, 200, 300, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Lateness late = latenessOf(c.arrivals);
        EXPECT_EQ(late.blocks, c.arrivals.size());
        EXPECT_NEAR(late.medianMs, c.median, 1e-6);
        EXPECT_NEAR(late.p99Ms, c.p99, 1e-6);
        EXPECT_NEAR(late.maxMs, c.max, 1e-6);
        if (c.maxAt != anyBlock) {
            EXPECT_EQ(late.maxAtBlock, c.maxAt);
        }
    }
}

TEST(BlockCount, ComparesBlocksReceivedWithElapsedTime) {
    const auto onTime = schedule(6001, 1.0, [](std::size_t) { return 0.0; });
    struct Case {
        const char* what;
        std::vector<double> arrivals;
        double at;
        double difference;
    };
    std::vector<double> skipped = onTime;
    skipped.erase(skipped.begin() + 3000, skipped.begin() + 3003);  // three blocks never written
    std::vector<double> readLate = onTime;  // the first five waited in the pipe
    for (std::size_t k = 0; k < 5; ++k) readLate[k] = onTime[5];
    std::vector<double> slow;  // 99 blocks per second
    for (std::size_t k = 0; k < 5941; ++k) slow.push_back(1.0 + static_cast<double>(k) / 99.0);
    const Case cases[] = {
        {"on time, looked at just after the last block", onTime, 61.0005, 0},
        {"on time, looked at halfway to the next block", onTime, 61.005, 0},
        {"the last block still in the pipe", onTime, 61.0105, -1},
        {"the first blocks read together once reading began", readLate, 61.0005, 0},
        {"three blocks skipped", skipped, 61.0005, -3},
        {"one block per second too few", slow, 61.0005, -60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BlockCount count = blockCountAt(c.arrivals, c.at);
        EXPECT_NEAR(count.difference, c.difference, 1e-6) << "received " << count.received;
    }
}

std::vector<ResourceSample> trace(double seconds, double handlesPerMinute, double bytesPerMinute) {
    std::vector<ResourceSample> samples;
    for (double t = 0; t < seconds; t += 0.5) {
        const double minutes = t / 60.0;
        // A sawtooth of +-3 handles and +-1 MB over it, as sources come and go.
        const int wobble = static_cast<int>(t * 2) % 7 - 3;
        samples.push_back({t, static_cast<std::uint32_t>(200 + handlesPerMinute * minutes + wobble), 9,
                           static_cast<std::uint64_t>(30e6 + bytesPerMinute * minutes + wobble * 350e3)});
    }
    return samples;
}

TEST(Plateaus, SeeGrowthThroughTheWobbleOfSourcesComingAndGoing) {
    const auto flat = trace(600, 0, 0);
    const Growth none = growthBetween(plateauOf(flat, 0, 60), plateauOf(flat, 540, 600));
    EXPECT_LE(std::fabs(none.handles), 1.0);
    EXPECT_EQ(none.threads, 0);
    EXPECT_LE(std::fabs(none.workingSetBytes), 400e3);
    EXPECT_LE(std::fabs(workingSetSlopePerMinute(flat, 0, 600)), 50e3);

    const auto leaking = trace(600, 6, 2e6);  // 6 handles and 2 MB a minute
    const Growth some = growthBetween(plateauOf(leaking, 0, 60), plateauOf(leaking, 540, 600));
    EXPECT_NEAR(some.handles, 54, 2);
    EXPECT_NEAR(some.workingSetBytes, 18e6, 0.5e6);
    EXPECT_NEAR(workingSetSlopePerMinute(leaking, 0, 600), 2e6, 0.1e6);
}

TEST(Plateaus, CountOnlyTheSamplesInsideTheirStretch) {
    std::vector<ResourceSample> samples{{1, 10, 1, 100}, {2, 12, 1, 100}, {3, 500, 50, 999}};
    const Plateau early = plateauOf(samples, 0, 3);
    EXPECT_EQ(early.samples, 2u);
    EXPECT_LE(early.handles, 12);
    EXPECT_EQ(early.threads, 1);
    EXPECT_EQ(plateauOf(samples, 10, 20).samples, 0u);
}

}  // namespace
}  // namespace measure
