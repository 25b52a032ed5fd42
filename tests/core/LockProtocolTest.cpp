// The lock protocol with real threads, for ThreadSanitizer: capture workers
// append packets under their source's lock until their source ends, a
// scanning thread reconciles the source map (taking ended sources out,
// joining the workers of the sources it closes and starting new ones outside
// the source-map lock, changing the map under it), and the mixer gathers
// blocks under both all the while, with and without rate matching (whose
// per-source state lives and dies with the source). Then the gate that
// keeps the final teardown apart from scans, and the wake that brings a scan
// early.

#include "app/MixBlock.h"
#include "capture/PacketConversion.h"
#include "selection/Reconcile.h"
#include "selection/RescanWake.h"
#include "selection/ScanGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

using namespace std::chrono_literals;

// A capture source in miniature: until it is destroyed, which stops and joins
// its worker, the worker appends packets whose every frame is (+level, -level);
// after `lifetime` packets it marks the source ended and appends no more, as
// a worker whose client is gone does.
struct WorkingSource {
    WorkingSource(std::int16_t level, int lifetime) : packet(960, level) {
        for (std::size_t i = 1; i < packet.size(); i += 2) {
            packet[i] = static_cast<std::int16_t>(-level);
        }
        worker = std::jthread([this, lifetime](std::stop_token stop) {
            for (int packets = 0; !stop.stop_requested() && !ended; ++packets, std::this_thread::sleep_for(300us)) {
                std::lock_guard<std::mutex> held(lock);
                appendPacket(fifo, packet.data(), 480, false);
                ended = packets == lifetime;
            }
        });
    }
    std::vector<std::int16_t> packet;
    std::mutex lock;  // guards fifo
    SampleFifo fifo;
    std::atomic<bool> ended{false};
    std::jthread worker;  // last: stopped and joined before the rest goes
};

TEST(LockProtocol, MixerGathersWhileWorkersAppendAndScansReconcile) {
  for (const bool rateMatch : {false, true}) {
    SCOPED_TRACE(rateMatch ? "rate-match" : "cushion only");
    std::mutex sourceMapLock;  // guards sources
    std::map<std::uint32_t, std::unique_ptr<WorkingSource>> sources;
    std::atomic<bool> stop{false};
    std::atomic<int> scans{0};
    int openingsOf9 = 0;  // the scanner's own
    std::thread scanner([&] {
        for (std::uint32_t scan = 0; !stop; ++scan, ++scans, std::this_thread::sleep_for(2ms)) {
            // 9 is wanted throughout, and its sources end after a few packets.
            const std::set<std::uint32_t> wanted{scan % 4 + 1, scan / 3 % 4 + 1, 9};
            reconcileSources(
                sourceMapLock, sources, wanted,
                [&](std::uint32_t id) {
                    openingsOf9 += id == 9;
                    return std::make_unique<WorkingSource>(static_cast<std::int16_t>(id * 1000), id == 9 ? 20 : -1);
                },
                [](std::uint32_t, const WorkingSource& source) { return source.ended.load(); });
        }
    });
    // Unless a half frame or a half-built FIFO is seen, each left sum is
    // exactly minus its right sum.
    int blocks = 0, torn = 0, heard = 0;
    for (const auto deadline = std::chrono::steady_clock::now() + 60s;
         (blocks < 300 || scans < 40) && std::chrono::steady_clock::now() < deadline; ++blocks) {
        MixBuffer buffer;
        buffer.fill(0.0f);
        gatherBlock(sourceMapLock, sources, buffer, MixerOptions{rateMatch});
        for (std::size_t i = 0; i < samplesPerBlock; i += 2) {
            torn += buffer[i] != -buffer[i + 1];
        }
        heard += buffer[0] != 0.0f;
        std::this_thread::sleep_for(1ms);
    }
    stop = true;
    scanner.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(heard, 0);
    EXPECT_GT(openingsOf9, 1) << "an ended source was never replaced";
    EXPECT_TRUE(blocks >= 300 && scans >= 40) << "cut short: " << blocks << " blocks, " << scans << " scans";
  }
}

TEST(ScanGate, CloseWaitsOutTheRunningScanAndNoneStartsAfter) {
    ScanGate gate;
    std::atomic<int> stage{0};  // 1 while the scan runs, 2 once it is over
    std::thread rescan([&] {
        gate.runIfOpen([&] {
            stage = 1;
            std::this_thread::sleep_for(100ms);  // a close() that does not wait returns long before
            stage = 2;
        });
    });
    while (stage == 0) {
        std::this_thread::yield();
    }
    gate.close();
    EXPECT_EQ(stage, 2) << "close() returned while a scan was running";
    rescan.join();
    EXPECT_FALSE(gate.runIfOpen([] { ADD_FAILURE() << "a scan ran after close()"; }));
}

TEST(RescanWake, ManyWakesDuringAScanBringOneScanAfterIt) {
    RescanWake wake;
    // Woken from several threads while the rescan thread is busy scanning.
    {
        std::jthread wakers[4];  // joined as the block ends
        for (std::jthread& waker : wakers) waker = std::jthread([&wake] {
            for (int i = 0; i < 50; ++i) wake.wake();
        });
    }
    const auto first = std::chrono::steady_clock::now();
    wake.waitForWake(60s, 0ms);
    EXPECT_LT(std::chrono::steady_clock::now() - first, 30s) << "the wakes were lost";
    // One scan for them all: the next wait runs its whole pause.
    const auto second = std::chrono::steady_clock::now();
    wake.waitForWake(300ms, 0ms);
    EXPECT_GE(std::chrono::steady_clock::now() - second, 300ms) << "a second scan for the same wakes";
}
