#pragma once
// How long the threads of some processes waited for a core while they could
// run (/proc/<pid>/task/<tid>/schedstat, its second field), sampled every
// 5 ms on a thread of its own: the machine holding the program or the server
// off the CPU, for longer than a cushion of a few tens of ms bridges.
//
// Threads: the sampler thread appends; the owner's thread calls the rest.
// `lock` guards `samples`.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class RunQueueWaits {
public:
    using Clock = std::chrono::steady_clock;

    explicit RunQueueWaits(std::vector<pid_t> watched);
    ~RunQueueWaits();  // end()
    RunQueueWaits(const RunQueueWaits&) = delete;
    RunQueueWaits& operator=(const RunQueueWaits&) = delete;

    void end();  // stops sampling; what was sampled stays
    // The longest that any one thread waited within 50 ms, in ms, from 300 ms
    // before `moment` to 50 ms after it.
    double longestNear(Clock::time_point moment);

private:
    std::vector<pid_t> pids;
    std::mutex lock;
    std::vector<std::pair<Clock::time_point, std::map<std::string, double>>> samples;  // ms waited by task
    std::atomic<bool> stopping{false};
    std::thread sampler;  // last: it uses the rest
};
