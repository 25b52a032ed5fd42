// The lock protocol the mixer relies on, run with real threads (and meant
// for ThreadSanitizer): capture workers append packets to their own sources,
// a reconciling thread opens and closes sources under the source-map lock
// (joining a closed source's worker while holding it), and the mixer gathers
// blocks all the while.

#include "app/MixBlock.h"
#include "capture/SampleFifo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// A source whose worker appends packets of whole frames (left +v, right -v)
// until the source is destroyed, like a capture source and its worker.
struct WorkingSource {
    explicit WorkingSource(float level) : level(level) {
        worker = std::thread([this] { appendPackets(); });
    }
    ~WorkingSource() {
        running = false;
        worker.join();
    }

    void appendPackets() {
        while (running) {
            {
                std::lock_guard<std::mutex> held(lock);
                for (int frame = 0; frame < 480; ++frame) {
                    fifo.append(level);
                    fifo.append(-level);
                }
                fifo.trimToNewest(sampleFifoCap);
            }
            packets.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::yield();
        }
    }

    const float level;
    std::mutex lock;
    SampleFifo fifo;
    std::atomic<bool> running{true};
    std::atomic<std::int64_t> packets{0};
    std::thread worker;
};

using WorkingSources = std::map<std::uint32_t, std::unique_ptr<WorkingSource>>;

TEST(MixerLocking, GatherWhileWorkersAppendAndSourcesComeAndGo) {
    std::mutex mapLock;
    WorkingSources sources;
    {
        std::lock_guard<std::mutex> held(mapLock);
        for (std::uint32_t id = 1; id <= 3; ++id) {
            sources[id] = std::make_unique<WorkingSource>(static_cast<float>(id) / 64);
        }
    }

    std::atomic<bool> stop{false};
    std::atomic<int> reconciliations{0};
    std::thread reconciler([&] {
        std::uint32_t next = 10;
        while (!stop) {
            {
                std::lock_guard<std::mutex> held(mapLock);
                // Close the oldest of the changing sources (joining its worker
                // under the lock, as a scan does) and open a new one.
                auto oldest = sources.lower_bound(10);
                if (oldest != sources.end() && sources.size() > 4) {
                    sources.erase(oldest);
                }
                sources[next] = std::make_unique<WorkingSource>(static_cast<float>(next % 7 + 1) / 64);
                ++next;
                ++reconciliations;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    // Every frame is +v, -v with the same v in each source, so as long as no
    // half frame is ever seen, every left sum is exactly minus its right sum.
    // Runs until enough of both sides has happened; the deadline only keeps
    // a broken protocol (a deadlock would hang instead) from running on.
    int blocks = 0;
    int mismatches = 0;
    int nonSilent = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((blocks < 500 || reconciliations < 50) && std::chrono::steady_clock::now() < deadline) {
        MixBuffer buffer;
        buffer.fill(0.0f);
        gatherBlock(mapLock, sources, buffer);
        for (std::size_t i = 0; i < samplesPerBlock; i += 2) {
            mismatches += buffer[i] != -buffer[i + 1];
        }
        nonSilent += buffer[0] != 0.0f;
        ++blocks;
        // The real mixer sleeps between blocks; without a pause here an
        // unfair mutex may never let the reconciler in.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    stop = true;
    reconciler.join();
    {
        std::lock_guard<std::mutex> held(mapLock);
        sources.clear();
    }

    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(nonSilent, 0) << "the mixer never saw a sample";
    EXPECT_GE(reconciliations.load(), 50);
    EXPECT_GE(blocks, 500);
}

}  // namespace
