#pragma once
// Reading another process's resources from outside, as a parent can: the CPU
// time of each of its threads with its priority (a Tool Help thread snapshot
// and GetThreadTimes), its working set (PROCESS_MEMORY_COUNTERS) and its
// handle count.
//
// Two of the obvious calls do not answer under Wine 8 for another process:
// GetProcessTimes counts only the main thread's time, and
// GetProcessHandleCount succeeds with 0. So CPU time is the sum over the
// threads (a thread that ended between two readings is missed: compare
// readings taken while the set of threads is steady), and handles are
// counted in the system's handle table (NtQuerySystemInformation), which
// Wine does fill.
//
// Threads: a ProcessProbe is used by one thread at a time; different probes
// share nothing.

#include "StreamFigures.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace measure {

struct ProcessCost {
    bool valid = false;              // false when the process could not be read
    double cpuSeconds = 0;           // kernel + user, summed over the live threads
    std::uint64_t workingSetBytes = 0;
    std::uint64_t peakWorkingSetBytes = 0;
    std::uint64_t privateBytes = 0;  // PagefileUsage: committed private memory
    std::uint32_t handles = 0;
    std::uint32_t threads = 0;
};

struct ThreadCpu {
    DWORD threadId = 0;
    int priority = 0;                // GetThreadPriority's answer
    double cpuSeconds = 0;
};

class ProcessProbe {
public:
    explicit ProcessProbe(DWORD processId);
    ProcessProbe(const ProcessProbe&) = delete;
    ProcessProbe& operator=(const ProcessProbe&) = delete;
    ~ProcessProbe();

    bool open() const { return process != nullptr; }
    DWORD processId() const { return pid; }

    ProcessCost read() const;
    // The same as a sample for the plateau figures, stamped `atSeconds`.
    ResourceSample sample(double atSeconds) const;
    // Every thread of the process with its CPU time so far.
    std::vector<ThreadCpu> threads() const;
    // Handles the process holds now; 0 when the table cannot be read.
    std::uint32_t handleCount() const;

private:
    DWORD pid;
    HANDLE process = nullptr;
};

// CPU seconds spent between two readings of the same process's threads:
// the growth of each thread seen in both, plus all of each thread that is new.
double cpuBetween(const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after);

// Seconds in a FILETIME of 100-ns units.
inline double filetimeSeconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) * 1e-7;
}

}  // namespace measure
