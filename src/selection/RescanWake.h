#pragma once
// How the rescan thread learns that it should not wait out its 2000 ms: some
// other thread saw a change that a scan must follow at once. On Linux the
// sound server announced a playback stream that appeared, changed or ended,
// a record stream ended, or the connection failed; on Windows the audio
// system reported a new session or a changed endpoint, or a capture client
// died.
//
// One flag, not a count: wakes that come while a scan runs leave `pending`
// set, so the rescan thread scans once more right after it, however many
// came. Scans never overlap, since only the rescan thread waits here.
//
// Threads: wake() on any thread, also from a system's callback (it holds
// `guard` only to set the flag, so it never waits for a scan);
// waitForWake() on the rescan thread only. `guard` guards `pending`. The
// instance must outlive every thread that may call wake().

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class RescanWake {
public:
    void wake() {
        {
            std::lock_guard<std::mutex> held(guard);
            pending = true;
        }
        signal.notify_one();
    }

    // Returns when `pause` has passed, or `settle` after a wake, and clears
    // the wake. The settling time lets the events that come together (a new
    // stream is announced, then changed as it starts) arrive first, so that
    // a burst costs one scan.
    void waitForWake(std::chrono::milliseconds pause, std::chrono::milliseconds settle) {
        std::unique_lock<std::mutex> held(guard);
        if (signal.wait_for(held, pause, [this] { return pending; })) {
            held.unlock();
            std::this_thread::sleep_for(settle);
            held.lock();
        }
        pending = false;
    }

private:
    std::mutex guard;
    std::condition_variable signal;
    bool pending = false;
};
