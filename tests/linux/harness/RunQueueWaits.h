#pragma once
// How long the threads of some processes waited for a core while they could
// run (/proc/<pid>/task/<tid>/schedstat, its second field), sampled every
// 5 ms on a thread of its own: the machine holding the program or the server
// off the CPU, for longer than a cushion of a few tens of ms bridges.
//
// Threads: the sampler thread appends; the owner's thread calls the rest.
// `lock` guards `samples`.

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class RunQueueWaits {
public:
    using Clock = std::chrono::steady_clock;

    explicit RunQueueWaits(std::vector<pid_t> watched) : pids(std::move(watched)), sampler([this] { sample(); }) {}
    ~RunQueueWaits() { end(); }

    // Stops sampling; what was sampled stays.
    void end() {
        stopping = true;
        if (sampler.joinable()) sampler.join();
    }
    // The longest that any one thread waited within 50 ms, in ms, from 300 ms
    // before `moment` to 50 ms after it.
    double longestNear(Clock::time_point moment) {
        using std::chrono::milliseconds;
        std::lock_guard<std::mutex> held(lock);
        double longest = 0;
        for (std::size_t i = 0, j = 0; i < samples.size(); ++i) {
            if (samples[i].first < moment - milliseconds(300) || samples[i].first > moment + milliseconds(50)) continue;
            for (j = std::max(j, i); j + 1 < samples.size() && samples[j].first < samples[i].first + milliseconds(50);) {
                ++j;
            }
            for (const auto& [task, waited] : samples[i].second) {
                const auto later = samples[j].second.find(task);
                if (later != samples[j].second.end()) longest = std::max(longest, later->second - waited);
            }
        }
        return longest;
    }

private:
    void sample() {
        while (!stopping) {
            std::map<std::string, double> waits;
            for (pid_t pid : pids) {
                std::error_code error;  // a process that ended has no tasks
                for (const auto& task :
                     std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
                    std::ifstream file(task.path() / "schedstat");
                    double onCpu = 0, waited = 0;  // ns
                    if (file >> onCpu >> waited) waits[task.path().string()] = waited / 1e6;
                }
            }
            {
                std::lock_guard<std::mutex> held(lock);
                samples.emplace_back(Clock::now(), std::move(waits));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::vector<pid_t> pids;
    std::mutex lock;  // non-copyable with it
    std::vector<std::pair<Clock::time_point, std::map<std::string, double>>> samples;  // ms waited by task
    std::atomic<bool> stopping{false};
    std::thread sampler;  // last: it uses the rest
};
