#include "linux/Mixer.h"

#include "app/MixerLoop.h"
#include "linux/StandardStreams.h"

#include <cerrno>
#include <ctime>

namespace {

// CLOCK_MONOTONIC in nanoseconds: it never jumps with the wall clock, so the
// absolute schedule stays exact when the system time is set.
struct MonotonicClock {
    static constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
    std::int64_t frequency() { return nanosecondsPerSecond; }
    std::int64_t now() {
        timespec time{};
        clock_gettime(CLOCK_MONOTONIC, &time);
        return std::int64_t{time.tv_sec} * nanosecondsPerSecond + time.tv_nsec;
    }
    void sleep(std::int64_t milliseconds) {
        timespec left{static_cast<time_t>(milliseconds / 1000),
                      static_cast<long>((milliseconds % 1000) * 1'000'000)};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
};

struct StandardOutputBlocks {
    bool write(const MixBuffer& block) { return writeStandardOutput(block.data(), block.size()); }
};

}  // namespace

void Mixer(std::mutex& sourceMapLock, SourceMap& sources, const MixerOptions& options) {
    MonotonicClock clock;
    StandardOutputBlocks output;
    runMixer(clock, output, sourceMapLock, sources, options);
}
