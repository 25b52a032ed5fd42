// The lock protocol of reconciliation, meant for ThreadSanitizer: a scanning
// thread reconciles under the source-map lock (joining workers as it closes
// sources), a mixer thread gathers from every source under the same lock and
// then each source's own lock, and every source's worker appends under its
// own lock only.

#include "capture/SampleFifo.h"
#include "selection/Reconcile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace {

std::atomic<int> sourcesOpened{0};
std::atomic<int> sourcesDestroyed{0};

// A capture source in miniature: a worker appending an increasing sequence to
// a FIFO under `lock`, stopped and joined on destruction.
class PacedSource {
public:
    PacedSource() {
        ++sourcesOpened;
        running = true;
        worker = std::thread([this] { work(); });
    }
    PacedSource(const PacedSource&) = delete;
    PacedSource& operator=(const PacedSource&) = delete;
    ~PacedSource() {
        running = false;
        worker.join();
        ++sourcesDestroyed;
    }

    std::mutex lock;  // guards fifo and lastTaken
    SampleFifo fifo;
    float lastTaken = -1.0f;

private:
    void work() {
        float next = 0.0f;
        while (running) {
            {
                std::lock_guard<std::mutex> held(lock);
                for (int i = 0; i < 96; ++i) {
                    fifo.append(next);
                    next += 1.0f;
                }
                fifo.trimToNewest(sampleFifoCap);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::atomic<bool> running{false};
    std::thread worker;
};

using PacedMap = std::map<std::uint32_t, std::unique_ptr<PacedSource>>;

TEST(ReconcileConcurrency, ScansMixerAndWorkersKeepTheLockOrder) {
    std::mutex sourceMapLock;
    PacedMap sources;
    std::atomic<bool> mixing{true};
    long samplesTaken = 0;
    int orderViolations = 0;

    std::thread mixer([&] {
        while (mixing) {
            {
                std::lock_guard<std::mutex> mapHeld(sourceMapLock);
                for (auto& [id, source] : sources) {
                    std::lock_guard<std::mutex> sourceHeld(source->lock);
                    for (int taken = 0; taken < 960 && source->fifo.size() > 0; ++taken) {
                        float sample = source->fifo.front();
                        source->fifo.popFront();
                        if (sample <= source->lastTaken) {
                            ++orderViolations;
                        }
                        source->lastTaken = sample;
                        ++samplesTaken;
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    std::mt19937 random(12345);
    std::set<std::uint32_t> wanted;
    int failedOpens = 0;
    for (int scan = 0; scan < 150; ++scan) {
        wanted.clear();
        for (std::uint32_t id = 1; id <= 6; ++id) {
            if (random() % 2 == 0) {
                wanted.insert(id);
            }
        }
        reconcileSources(sourceMapLock, sources, wanted, [&](std::uint32_t id) -> std::unique_ptr<PacedSource> {
            // Some openings fail, as they do when a process has just ended.
            if ((id + static_cast<std::uint32_t>(scan)) % 5 == 0) {
                ++failedOpens;
                return nullptr;
            }
            return std::make_unique<PacedSource>();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    mixing = false;
    mixer.join();

    std::set<std::uint32_t> present;
    for (const auto& entry : sources) {
        present.insert(entry.first);
    }
    for (std::uint32_t id : present) {
        EXPECT_TRUE(wanted.contains(id)) << id << " is not wanted after the last scan";
    }
    EXPECT_EQ(sourcesOpened - sourcesDestroyed, static_cast<int>(sources.size()));
    EXPECT_GT(failedOpens, 0);
    EXPECT_GT(samplesTaken, 0);
    EXPECT_EQ(orderViolations, 0);

    sources.clear();
    EXPECT_EQ(sourcesOpened.load(), sourcesDestroyed.load());
}

}  // namespace
