#include "windows/Mixer.h"

#include "app/MixerLoop.h"
#include "windows/StandardStreams.h"

#include <windows.h>

namespace {

// The system's monotonic high-resolution counter and its millisecond sleep.
// The timer resolution is left as the system has it: the schedule's absolute
// due counts keep the rate exact however coarse the sleeps are.
struct PerformanceCounterClock {
    std::int64_t frequency() {
        LARGE_INTEGER value{};
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }
    std::int64_t now() {
        LARGE_INTEGER value{};
        QueryPerformanceCounter(&value);
        return value.QuadPart;
    }
    void sleep(std::int64_t milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
};

struct StandardOutputBlocks {
    bool write(const MixBuffer& block) { return writeStandardOutput(block.data(), block.size()); }
};

}  // namespace

void Mixer(std::mutex& sourceMapLock, SourceMap& sources, const MixerOptions& options) {
    PerformanceCounterClock clock;
    StandardOutputBlocks output;
    runMixer(clock, output, sourceMapLock, sources, options);
}
