#include "linux/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/mainloop-api.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <cstdlib>
#include <utility>

namespace {

// The first protocol version with pa_stream_set_monitor_stream: older servers
// can only record a whole output, never one playback stream alone.
constexpr std::uint32_t monitorStreamProtocol = 13;

}  // namespace

PulseConnection::PulseConnection(std::function<void()> wake) : wake(std::move(wake)) {
    loop = pa_threaded_mainloop_new();
    if (loop == nullptr || pa_threaded_mainloop_start(loop) < 0) {
        // Out of memory or threads at start-up: nothing sensible remains.
        std::abort();
    }
}

void PulseConnection::onContextState(pa_context* context, void* self) {
    auto& connection = *static_cast<PulseConnection*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        connection.wake();
    }
    pa_threaded_mainloop_signal(connection.loop, 0);
}

void PulseConnection::onSubscription(pa_context*, pa_subscription_event_type_t type, std::uint32_t,
                                     void* self) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
        static_cast<PulseConnection*>(self)->wake();
    }
}

void PulseConnection::onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* flag) {
    auto& timer = *static_cast<TimerFlag*>(flag);
    timer.expired = true;
    pa_threaded_mainloop_signal(timer.loop, 0);
}

void PulseConnection::startTimer(std::chrono::milliseconds bound, TimerFlag& timer) {
    const pa_usec_t due = pa_rtclock_now() + static_cast<pa_usec_t>(bound.count()) * PA_USEC_PER_MSEC;
    timer.event = pa_context_rttime_new(current, due, onTimer, &timer);
    // Without a timer the wait could not be bounded: give up at once instead.
    timer.expired = timer.event == nullptr;
}

void PulseConnection::stopTimer(TimerFlag& timer) {
    if (timer.event != nullptr) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        api->time_free(timer.event);
    }
}

bool PulseConnection::contextEnded() const {
    if (current == nullptr) {
        return true;
    }
    const pa_context_state_t state = pa_context_get_state(current);
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

void PulseConnection::dropContext() {
    if (current == nullptr) {
        return;
    }
    pa_context_set_state_callback(current, nullptr, nullptr);
    pa_context_set_subscribe_callback(current, nullptr, nullptr);
    pa_context_disconnect(current);
    pa_context_unref(current);
    current = nullptr;
}

int PulseConnection::connect(std::chrono::milliseconds bound) {
    MainLoopLock held(*this);
    dropContext();
    current = pa_context_new(pa_threaded_mainloop_get_api(loop), "vintra-app-audio");
    if (current == nullptr) {
        return PA_ERR_INTERNAL;
    }
    pa_context_set_state_callback(current, onContextState, this);
    pa_context_set_subscribe_callback(current, onSubscription, this);
    if (pa_context_connect(current, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        const int error = pa_context_errno(current);
        dropContext();
        return error != 0 ? error : PA_ERR_CONNECTIONREFUSED;
    }
    const bool isReady =
        waitUntil([this] { return pa_context_get_state(current) == PA_CONTEXT_READY; }, bound);
    int error = 0;
    if (!isReady) {
        error = contextEnded() ? pa_context_errno(current) : PA_ERR_TIMEOUT;
        if (error == 0) {
            error = PA_ERR_CONNECTIONREFUSED;
        }
    } else if (pa_context_get_server_protocol_version(current) < monitorStreamProtocol) {
        error = PA_ERR_NOTSUPPORTED;
    }
    if (error != 0) {
        dropContext();
        return error;
    }
    // Fire and forget: a refused subscription costs only the early wake-ups,
    // the periodic scans still find every stream.
    if (pa_operation* subscribing =
            pa_context_subscribe(current, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr)) {
        pa_operation_unref(subscribing);
    }
    return 0;
}

bool PulseConnection::ready() {
    MainLoopLock held(*this);
    return current != nullptr && pa_context_get_state(current) == PA_CONTEXT_READY;
}

void PulseConnection::shutDown() {
    {
        MainLoopLock held(*this);
        dropContext();
    }
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
    loop = nullptr;
}
