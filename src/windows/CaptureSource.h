#pragma once
// The capture of one process: its process-loopback audio client, the capture
// client obtained from it, the event the audio engine signals, the worker
// thread that moves packets into `fifo`, and the lock it shares with the mixer.
//
// Threads and locks:
//  - `lock` guards `fifo`. The worker holds it while it converts and appends
//    one packet; the mixer holds it (after the source-map lock) while it
//    takes samples. Nothing else is locked while `lock` is held.
//  - `audioClient`, `captureClient` and `captureEvent` are set while the source
//    is opened, before the worker starts, and cleared by stop() only after the
//    worker has been joined; the worker reads them without a lock.
//  - stop() and destruction run on the thread that owns the source (the
//    scanning thread, or the main thread at the final teardown).
//
// A source lives on the heap at one address for its whole life (its worker
// refers to it) and is neither copied nor moved.

#include "capture/SampleFifo.h"
#include "windows/ComPtr.h"
#include "windows/CoreAudio.h"
#include "windows/UniqueHandle.h"
#include "selection/RescanWake.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// Whether a capture client's answer means that it is dead for good.
bool clientDied(HRESULT result);

class CaptureSource {
public:
    explicit CaptureSource(std::uint32_t processId) : processId(processId) {}
    CaptureSource(const CaptureSource&) = delete;
    CaptureSource& operator=(const CaptureSource&) = delete;
    // Destruction stops the source first.
    ~CaptureSource() { stop(); }

    // The worker routine, run on the source's own thread while `running`:
    // waits up to 100 ms for the event, then moves every ready packet into
    // `fifo`. A failed call is tried again after the next wait, except when
    // the client reports that it is dead (clientDied): then the loop ends
    // and wakes the rescan thread through `wakeOnEnd`.
    void captureLoop();
    // True once a call of the capture client has answered that the client
    // is dead: its device went (AUDCLNT_E_DEVICE_INVALIDATED, or on Windows
    // 10 AUDCLNT_E_RESOURCES_INVALIDATED: the machine slept, the audio set-up
    // changed) or the audio service stopped (AUDCLNT_E_SERVICE_NOT_RUNNING).
    // Such a client never delivers again and must be released and a new one
    // activated, which the scan that the end wakes does. Any thread.
    bool ended() const { return deviceLost.load(); }
    // Ends capture and releases the operating-system objects, in the order
    // worker, stream, capture client, audio client, event. Idempotent; safe on
    // a source that was never or only partly opened.
    void stop();

    const std::uint32_t processId;
    ComPtr<IAudioClient> audioClient;
    ComPtr<IAudioCaptureClient> captureClient;
    UniqueHandle captureEvent;  // auto-reset; signalled by the audio engine
    std::atomic<bool> running{false};
    std::atomic<bool> deviceLost{false};  // set by the worker only
    // Woken by the worker when the client dies; set before the worker starts,
    // and outlives the source. Null: nobody is told.
    RescanWake* wakeOnEnd = nullptr;
    std::thread worker;
    std::mutex lock;
    SampleFifo fifo;
};
