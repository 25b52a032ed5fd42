#pragma once
// The program's one connection to the sound server: libpulse's threaded main
// loop (started once, running until the program ends) and a context on it
// that is made anew whenever the server has gone away.
//
// Threads and locks:
//  - The main-loop lock (pa_threaded_mainloop_lock, through MainLoopLock)
//    guards every libpulse object: the context and every record stream. The
//    main-loop thread holds it while it runs callbacks.
//  - connect(), ready() and shutDown() take the lock themselves and must be
//    called without it; waitUntil() and context() need it held.
//  - Scans (the main thread for the first, the rescan thread afterwards) are
//    the only callers of connect(); shutDown() runs at the final teardown,
//    after the last scan.
//  - `wake` is called on the main-loop thread, with the lock held, whenever a
//    playback stream appears, changes or ends, a record stream ends, or the
//    context fails. It must not block.
// Callbacks never wait: every wait is the calling thread's, and each has a
// bound, so a server that stops answering cannot hang the program.

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <functional>

class PulseConnection {
public:
    explicit PulseConnection(std::function<void()> wake);
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Drops the previous context, if any, and connects a new one without ever
    // starting a server. Waits up to `bound` for it to be ready; subscribes to
    // playback-stream events then. Returns 0 when ready, otherwise the client
    // library's error number: the context's own, PA_ERR_TIMEOUT when the
    // bound passed, PA_ERR_NOTSUPPORTED when the server's protocol cannot
    // bind a record stream to one playback stream (below version 13).
    int connect(std::chrono::milliseconds bound);

    // True while the context is connected and ready.
    bool ready();

    // Disconnects the context and stops the main loop; nothing of the
    // program remains on the server. Once, at the end; nothing may use the
    // connection afterwards.
    void shutDown();

    // With the lock held: waits until `done()` holds, the context has failed,
    // or `bound` has passed. Returns done(). Every callback that changes what
    // `done` reads must call pa_threaded_mainloop_signal(mainLoop(), 0).
    template <class Done>
    bool waitUntil(Done&& done, std::chrono::milliseconds bound) {
        TimerFlag timer{loop};
        startTimer(bound, timer);
        while (!done() && !timer.expired && !contextEnded()) {
            pa_threaded_mainloop_wait(loop);
        }
        stopTimer(timer);
        return done();
    }

    // With the lock held: the current context (null before the first
    // connect), and the main loop for signals.
    pa_context* context() const { return current; }
    pa_threaded_mainloop* mainLoop() const { return loop; }

    // Calls `wake`; for the record streams' callbacks.
    void notifyChange() { wake(); }

private:
    static void onContextState(pa_context* context, void* self);
    static void onSubscription(pa_context* context, pa_subscription_event_type_t type,
                               std::uint32_t index, void* self);
    // A wait's deadline: a main-loop timer that sets `expired` and wakes the
    // waiting thread. It lives on the waiting thread's stack and is freed
    // before the wait returns, with the lock still held, so it never fires
    // into a finished wait.
    struct TimerFlag {
        pa_threaded_mainloop* loop;
        bool expired = false;
        pa_time_event* event = nullptr;
    };
    static void onTimer(pa_mainloop_api* api, pa_time_event* event, const struct timeval* time,
                        void* flag);
    void startTimer(std::chrono::milliseconds bound, TimerFlag& timer);
    void stopTimer(TimerFlag& timer);
    bool contextEnded() const;
    void dropContext();

    std::function<void()> wake;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* current = nullptr;
};

// Holds the main-loop lock for a scope.
class MainLoopLock {
public:
    explicit MainLoopLock(PulseConnection& pulse) : loop(pulse.mainLoop()) {
        pa_threaded_mainloop_lock(loop);
    }
    ~MainLoopLock() { pa_threaded_mainloop_unlock(loop); }
    MainLoopLock(const MainLoopLock&) = delete;
    MainLoopLock& operator=(const MainLoopLock&) = delete;

private:
    pa_threaded_mainloop* loop;
};
