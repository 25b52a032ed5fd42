#pragma once
// Figures of a stream and of a process's resources, computed from what a
// parent recorded: block arrival times, and samples of the child's handle
// count, thread count and working set taken over a run. Shared by the
// endurance test and the Wine measuring programs under bench/.
//
// OS-free; plain functions over plain records.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace measure {

inline constexpr double blockSeconds = 0.010;

// The value below which a share `q` (0..1) of `values` lies, by the nearest
// rank; 0 for an empty list.
double quantile(std::vector<double> values, double q);

// Where the program's schedule stood, on the parent's clock: the earliest
// (arrival - k x 10 ms) over the run. The block that came most nearly on time
// fixes it, so no block counts as early and nothing hangs on block 0, which
// often waits in the pipe until the parent starts reading.
double scheduleOrigin(const std::vector<double>& arrivalSeconds);

// How late each block came against its due time, origin + k x 10 ms.
struct Lateness {
    std::size_t blocks = 0;
    double medianMs = 0;
    double p99Ms = 0;
    double maxMs = 0;
    std::size_t maxAtBlock = 0;
};
Lateness latenessOf(const std::vector<double>& arrivalSeconds);

// Blocks received by `atSeconds` against the counter time elapsed since the
// schedule's origin: a program on schedule has written
// 1 + floor(elapsed x 100) blocks by then.
struct BlockCount {
    std::size_t received = 0;
    double elapsedSeconds = 0;
    double expected = 0;
    // received - expected; a block still in flight in the pipe shows as a
    // small negative figure.
    double difference = 0;
};
BlockCount blockCountAt(const std::vector<double>& arrivalSeconds, double atSeconds);

// One look at a process's resources.
struct ResourceSample {
    double atSeconds = 0;
    std::uint32_t handles = 0;
    std::uint32_t threads = 0;
    std::uint64_t workingSetBytes = 0;
};

// The typical level of a resource over a stretch: the median of its samples.
struct Plateau {
    double handles = 0;
    double threads = 0;
    double workingSetBytes = 0;
    std::size_t samples = 0;
};
Plateau plateauOf(const std::vector<ResourceSample>& samples, double fromSeconds, double toSeconds);

// How much the late plateau exceeds the early one, per resource.
struct Growth {
    double handles = 0;
    double threads = 0;
    double workingSetBytes = 0;
};
Growth growthBetween(const Plateau& early, const Plateau& late);

// The least-squares slope of working set against time over the samples in
// [fromSeconds, toSeconds), in bytes per minute: a slow leak shows here even
// when the two plateaus are within their tolerance.
double workingSetSlopePerMinute(const std::vector<ResourceSample>& samples, double fromSeconds, double toSeconds);

}  // namespace measure
