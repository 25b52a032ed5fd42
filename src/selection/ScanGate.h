#pragma once
// Keeps the final teardown apart from scans.
//
// The rescan thread is never stopped, yet the main flow destroys the sources
// and the process table when the output breaks. Every scan that the rescan
// thread makes runs inside runIfOpen(); close() waits out a scan in progress,
// marks the gate closed, and from then on no scan begins. The gate itself
// outlives both (it is never destroyed while the process runs).
//
// Threads: runIfOpen() on the rescan thread, close() on the main thread.
// `guard` guards `closed` and is held for the whole of each scan.

#include <mutex>

class ScanGate {
public:
    // Runs `scan` unless the gate is closed; returns whether it ran.
    template <class Scan>
    bool runIfOpen(Scan&& scan) {
        std::lock_guard<std::mutex> held(guard);
        if (closed) {
            return false;
        }
        scan();
        return true;
    }

    // After this returns no scan is running and none will start.
    void close() {
        std::lock_guard<std::mutex> held(guard);
        closed = true;
    }

private:
    std::mutex guard;
    bool closed = false;
};
