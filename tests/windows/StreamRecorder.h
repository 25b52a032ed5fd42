#pragma once
// Reads the program's stream on a thread of its own, as a parent that never
// stops reading does: nothing the test does meanwhile (starting a player
// takes a while under Wine) may stall the program's writes, which would cost
// audio beyond what a source keeps. Each block is stamped with the
// performance counter (fake::counterMs) when its read completes.
//
// Threads: the test's thread calls every method; the reader thread only
// appends, under `lock`, which guards `samples` and `arrivals`.

#include "ChildProcess.h"
#include "FakeControl.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class StreamRecorder {
public:
    static constexpr std::size_t blockSamples = 960;

    explicit StreamRecorder(ChildProcess& program) : reader([this, &program] { record(program); }) {}
    ~StreamRecorder() { stop(); }

    std::size_t blocks() {
        std::lock_guard<std::mutex> held(lock);
        return arrivals.size();
    }
    // The samples of block `first` and every later one received so far.
    std::vector<float> since(std::size_t first) {
        std::lock_guard<std::mutex> held(lock);
        return {samples.begin() + static_cast<std::ptrdiff_t>(std::min(first * blockSamples, samples.size())),
                samples.end()};
    }
    // When block `index` arrived, in ms of the counter.
    LONG arrival(std::size_t index) {
        std::lock_guard<std::mutex> held(lock);
        return arrivals.at(index);
    }
    // Stops reading; false when the stream had stopped coming before.
    bool stop() {
        stopping = true;
        if (reader.joinable()) reader.join();
        return !broken;
    }

private:
    void record(ChildProcess& program) {
        std::vector<float> block(blockSamples);
        while (!stopping) {
            if (!program.read(block.data(), block.size() * sizeof(float), 20000)) {
                broken = true;
                return;
            }
            const LONG now = fake::counterMs();
            std::lock_guard<std::mutex> held(lock);
            samples.insert(samples.end(), block.begin(), block.end());
            arrivals.push_back(now);
        }
    }

    std::mutex lock;
    std::vector<float> samples;
    std::vector<LONG> arrivals;
    std::atomic<bool> stopping{false}, broken{false};
    std::thread reader;  // last: it uses the rest
};
