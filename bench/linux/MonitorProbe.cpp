#include "MonitorProbe.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <chrono>
#include <cmath>

namespace linuxbench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr pa_sample_spec recorded{PA_SAMPLE_FLOAT32LE, 48000, 2};
constexpr std::uint32_t tenMs = 480 * 2 * sizeof(float);
constexpr std::uint32_t serverChoice = static_cast<std::uint32_t>(-1);

const RecordRequest requests[] = {
    {"the program's request (ADJUST_LATENCY, 10 ms fragments)",
     static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND),
     tenMs},
    {"parec's default (no flags, server's fragment)", PA_STREAM_NOFLAGS, serverChoice},
    {"10 ms fragments without ADJUST_LATENCY", PA_STREAM_DONT_MOVE, tenMs},
    {"ADJUST_LATENCY, server's fragment", PA_STREAM_ADJUST_LATENCY, serverChoice},
};

struct Probe {
    bool heard = false;
    bool failed = false;
};

void onReadable(pa_stream* stream, std::size_t, void* data) {
    auto& probe = *static_cast<Probe*>(data);
    const void* samples = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_peek(stream, &samples, &bytes) == 0 && bytes > 0) {
        const auto* values = static_cast<const float*>(samples);
        for (std::size_t i = 0; values != nullptr && i < bytes / sizeof(float) && !probe.heard; ++i) {
            probe.heard = std::fabs(values[i]) > 0.01f;
        }
        pa_stream_drop(stream);
    }
}

// Runs the loop until `done()` or the deadline.
template <class Done>
bool runUntil(pa_mainloop* loop, Clock::time_point deadline, Done done) {
    while (!done() && Clock::now() < deadline) {
        if (pa_mainloop_prepare(loop, 10000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
            return false;
        }
    }
    return done();
}

}  // namespace

const RecordRequest& programRequest() {
    return requests[0];
}

const RecordRequest* otherRequests(std::size_t& count) {
    count = std::size(requests) - 1;
    return requests + 1;
}

double secondsToFirstAudio(std::uint32_t playbackStream, const RecordRequest& request, double bound) {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "vintra-bench-probe");
    double seconds = -1;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bound));
    auto contextIs = [context](pa_context_state_t state) { return pa_context_get_state(context) == state; };
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
        runUntil(loop, deadline, [&] { return contextIs(PA_CONTEXT_READY) || contextIs(PA_CONTEXT_FAILED); }) &&
        contextIs(PA_CONTEXT_READY)) {
        Probe probe;
        pa_stream* stream = pa_stream_new(context, "vintra-bench-probe", &recorded, nullptr);
        pa_stream_set_read_callback(stream, onReadable, &probe);
        const pa_buffer_attr buffer{serverChoice, serverChoice, serverChoice, serverChoice, request.fragmentBytes};
        const auto start = Clock::now();
        if (pa_stream_set_monitor_stream(stream, playbackStream) == 0 &&
            pa_stream_connect_record(stream, nullptr, &buffer, request.flags) == 0 &&
            runUntil(loop, deadline, [&] { return probe.heard || pa_stream_get_state(stream) == PA_STREAM_FAILED; }) &&
            probe.heard) {
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return seconds;
}

}  // namespace linuxbench
