// The gate that keeps the final teardown apart from scans of the rescan
// thread.

#include "selection/ScanGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(ScanGate, RunsWhileOpenAndNeverAfterClosing) {
    ScanGate gate;
    int scans = 0;
    EXPECT_TRUE(gate.runIfOpen([&] { ++scans; }));
    EXPECT_TRUE(gate.runIfOpen([&] { ++scans; }));
    gate.close();
    EXPECT_FALSE(gate.runIfOpen([&] { ++scans; }));
    gate.close();  // closing twice is harmless
    EXPECT_FALSE(gate.runIfOpen([&] { ++scans; }));
    EXPECT_EQ(scans, 2);
}

TEST(ScanGate, ClosingWaitsOutTheScanInProgress) {
    ScanGate gate;
    std::atomic<bool> scanStarted{false};
    std::atomic<bool> letScanFinish{false};
    std::atomic<bool> scanFinished{false};
    std::atomic<bool> finishedWhenClosed{false};

    std::thread rescan([&] {
        gate.runIfOpen([&] {
            scanStarted = true;
            while (!letScanFinish) {
                std::this_thread::yield();
            }
            scanFinished = true;
        });
    });
    while (!scanStarted) {
        std::this_thread::yield();
    }

    std::thread teardown([&] {
        gate.close();
        finishedWhenClosed = scanFinished.load();
    });
    // Give a close() that does not wait every chance to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    letScanFinish = true;
    rescan.join();
    teardown.join();

    EXPECT_TRUE(finishedWhenClosed) << "close() returned while a scan was still running";
    EXPECT_FALSE(gate.runIfOpen([] { ADD_FAILURE() << "scan after close"; }));
}

}  // namespace
