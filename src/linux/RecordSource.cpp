#include "linux/RecordSource.h"

#include "capture/PacketConversion.h"

namespace {

// What the mixer takes: the server converts whatever the player plays.
constexpr pa_sample_spec recordedFormat{PA_SAMPLE_FLOAT32LE, 48000, 2};

// One 10 ms block's worth of bytes per fragment (480 frames of 8 bytes): the
// server sends each block as it is rendered rather than gathering a larger
// one first, which would arrive late and in bursts the FIFO's cap cuts.
constexpr std::uint32_t fragmentBytes = 480 * 2 * sizeof(float);

// ADJUST_LATENCY makes the server size the monitor's own latency from the
// fragment. DONT_MOVE: the record stream stays bound to the sink it was made
// on; if the played stream moves, the server ends this one and the next scan
// opens a new one on the new sink. DONT_INHIBIT_AUTO_SUSPEND: recording a
// paused player must not keep its output device awake.
//
// What no flag shortens: a record stream bound to a playback stream gets
// that stream's audio when the sink renders it, and a sink renders ahead by
// its configured latency. A PulseAudio null sink that was idle, or that plays
// only players with a 2 s buffer, has rendered up to 2 s ahead before the
// source exists, so its first audio can come that late; once it flows, this
// stream's low latency holds the sink's render-ahead down. PipeWire renders
// in quanta of a few milliseconds and delivers at once.
constexpr pa_stream_flags_t recordFlags =
    static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                   PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);

// How long closing a source waits for the server to finish creating its
// record stream; it answers in milliseconds unless it has stopped answering.
constexpr std::chrono::milliseconds creationBound{2000};

}  // namespace

std::unique_ptr<RecordSource> RecordSource::open(PulseConnection& pulse, const PlaybackStream& input) {
    std::unique_ptr<RecordSource> source(new RecordSource(pulse, input.sink));
    bool connected = false;
    {
        MainLoopLock held(pulse);
        pa_context* context = pulse.context();
        if (context == nullptr || pa_context_get_state(context) != PA_CONTEXT_READY) {
            return nullptr;
        }
        source->stream = pa_stream_new(context, "vintra-app-audio", &recordedFormat, nullptr);
        if (source->stream == nullptr) {
            return nullptr;
        }
        pa_stream_set_read_callback(source->stream, onReadable, source.get());
        pa_stream_set_state_callback(source->stream, onState, source.get());
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<std::uint32_t>(-1);
        buffer.tlength = static_cast<std::uint32_t>(-1);
        buffer.prebuf = static_cast<std::uint32_t>(-1);
        buffer.minreq = static_cast<std::uint32_t>(-1);
        buffer.fragsize = fragmentBytes;
        // No device: the server records from the monitor of the sink that
        // the played stream is on at this moment, as parec does.
        connected = pa_stream_set_monitor_stream(source->stream, input.index) == 0 &&
                    pa_stream_connect_record(source->stream, nullptr, &buffer, recordFlags) == 0;
    }
    // A refused source is destroyed outside the lock scope above; its
    // destructor takes the lock itself.
    return connected ? std::move(source) : nullptr;
}

RecordSource::~RecordSource() {
    if (stream == nullptr) {
        return;
    }
    MainLoopLock held(pulse);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    // A stream still being created cannot be disconnected yet (the client
    // library refuses), and the server would keep it for as long as the
    // connection lasts: wait, bounded, until the server has answered.
    pa_stream_set_state_callback(
        stream, [](pa_stream*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        pulse.mainLoop());
    pulse.waitUntil([this] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; }, creationBound);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_READY) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
}

void RecordSource::onReadable(pa_stream* stream, std::size_t, void* self) {
    auto& source = *static_cast<RecordSource*>(self);
    const void* data = nullptr;
    std::size_t bytes = 0;
    // Everything readable now; a hole (no data, a length) is silence.
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        {
            std::lock_guard<std::mutex> held(source.lock);
            appendFloatSamples(source.fifo, data, bytes / sizeof(float));
        }
        pa_stream_drop(stream);
    }
}

void RecordSource::onState(pa_stream* stream, void* self) {
    auto& source = *static_cast<RecordSource*>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        source.finished = true;
        source.pulse.notifyChange();
    }
}
