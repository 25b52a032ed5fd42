#pragma once
// The capture of one playback stream: a record stream that the server binds
// to that one sink input (pa_stream_set_monitor_stream) on the monitor of the
// sink it plays to, and the FIFO its samples land in for the mixer.
//
// Threads and locks:
//  - `lock` guards `fifo`. The read callback (main-loop thread, main-loop
//    lock held) holds it while it appends one fragment; the mixer holds it
//    (after the source-map lock) while it takes samples. Nothing else is
//    locked while `lock` is held, and the main-loop lock is never taken
//    under it.
//  - The stream itself is touched only with the main-loop lock held.
//  - open() and destruction run on the scanning thread (or the main thread
//    at the final teardown), without the main-loop lock.
//
// A source lives on the heap at one address for its whole life (the
// callbacks refer to it) and is neither copied nor moved.

#include "capture/SampleFifo.h"
#include "linux/PulseConnection.h"
#include "selection/StreamRules.h"

#include <pulse/stream.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class RecordSource {
public:
    // Starts recording `input`; null when the server refused at once. The
    // stream is not waited for: if it fails later, ended() says so and the
    // next scan decides again.
    static std::unique_ptr<RecordSource> open(PulseConnection& pulse, const PlaybackStream& input);

    RecordSource(const RecordSource&) = delete;
    RecordSource& operator=(const RecordSource&) = delete;
    // Disconnects the stream, after waiting (at most 2 s) for the server to
    // finish creating it if it still is. Once this returns, no callback refers to the
    // source any more.
    ~RecordSource();

    // True once the record stream has failed or been terminated: the played
    // stream ended or moved, or the connection broke.
    bool ended() const { return finished.load(); }

    const std::uint32_t sink;  // the sink the played stream was on at opening
    std::mutex lock;
    SampleFifo fifo;

private:
    RecordSource(PulseConnection& pulse, std::uint32_t sink) : sink(sink), pulse(pulse) {}
    static void onReadable(pa_stream* stream, std::size_t bytes, void* self);
    static void onState(pa_stream* stream, void* self);

    PulseConnection& pulse;
    pa_stream* stream = nullptr;  // main-loop lock
    std::atomic<bool> finished{false};
};
