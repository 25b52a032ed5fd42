#include "harness/RunQueueWaits.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

RunQueueWaits::RunQueueWaits(std::vector<pid_t> watched)
    : pids(std::move(watched)), sampler([this] {
          while (!stopping) {
              std::map<std::string, double> waits;
              for (pid_t pid : pids) {
                  std::error_code error;  // a process that ended has no tasks
                  for (const auto& task :
                       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
                      std::ifstream file(task.path() / "schedstat");
                      double onCpu = 0, waited = 0;  // ns
                      if (file >> onCpu >> waited) {
                          waits[task.path().string()] = waited / 1e6;
                      }
                  }
              }
              {
                  std::lock_guard<std::mutex> held(lock);
                  samples.emplace_back(Clock::now(), std::move(waits));
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
      }) {}

RunQueueWaits::~RunQueueWaits() {
    end();
}

void RunQueueWaits::end() {
    stopping = true;
    if (sampler.joinable()) {
        sampler.join();
    }
}

double RunQueueWaits::longestNear(Clock::time_point moment) {
    using std::chrono::milliseconds;
    std::lock_guard<std::mutex> held(lock);
    double longest = 0;
    for (std::size_t i = 0, j = 0; i < samples.size(); ++i) {
        if (samples[i].first < moment - milliseconds(300) || samples[i].first > moment + milliseconds(50)) {
            continue;
        }
        for (j = std::max(j, i); j + 1 < samples.size() && samples[j].first < samples[i].first + milliseconds(50);) {
            ++j;
        }
        for (const auto& [task, waited] : samples[i].second) {
            const auto later = samples[j].second.find(task);
            if (later != samples[j].second.end()) {
                longest = std::max(longest, later->second - waited);
            }
        }
    }
    return longest;
}
