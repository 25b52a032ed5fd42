#include "linux/PlaybackStreamList.h"

#include "linux/DecimalProcessId.h"

#include <pulse/introspect.h>
#include <pulse/proplist.h>

#include <cstring>

namespace {

// How long a scan waits for the list; the server answers in milliseconds
// unless it has stopped answering altogether.
constexpr std::chrono::milliseconds listBound{2000};

// Filled on the main-loop thread by the callback, read by the scanning thread
// once `done`; both with the main-loop lock held.
struct Listing {
    pa_threaded_mainloop* loop = nullptr;
    std::vector<PlaybackStream> streams;
    bool done = false;
    bool failed = false;
};

void onSinkInput(pa_context*, const pa_sink_input_info* info, int last, void* listing) {
    auto& result = *static_cast<Listing*>(listing);
    if (last != 0) {
        result.done = true;
        result.failed = last < 0;
        pa_threaded_mainloop_signal(result.loop, 0);
        return;
    }
    // A stream that plays to no sink yet (PipeWire lists a new stream before
    // its session manager has linked it) has no monitor to record from: a
    // record stream made now would be bound to nothing and stay silent. The
    // server announces the link as a change, and the scan it wakes finds the
    // stream then.
    if (info->sink == PA_INVALID_INDEX) {
        return;
    }
    PlaybackStream stream;
    stream.index = info->index;
    stream.sink = info->sink;
    stream.processId = decimalProcessId(pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID));
    const char* role = pa_proplist_gets(info->proplist, PA_PROP_MEDIA_ROLE);
    stream.eventSound = role != nullptr && std::strcmp(role, "event") == 0;
    result.streams.push_back(stream);
}

}  // namespace

std::optional<std::vector<PlaybackStream>> listPlaybackStreams(PulseConnection& pulse) {
    MainLoopLock held(pulse);
    pa_context* context = pulse.context();
    if (context == nullptr || pa_context_get_state(context) != PA_CONTEXT_READY) {
        return std::nullopt;
    }
    Listing listing;
    listing.loop = pulse.mainLoop();
    pa_operation* request = pa_context_get_sink_input_info_list(context, onSinkInput, &listing);
    if (request == nullptr) {
        return std::nullopt;
    }
    const bool answered = pulse.waitUntil([&listing] { return listing.done; }, listBound);
    // Cancelled with the lock still held: the callback can no longer write
    // into `listing` once this function has returned.
    if (!answered) {
        pa_operation_cancel(request);
    }
    pa_operation_unref(request);
    if (!answered || listing.failed) {
        return std::nullopt;
    }
    return std::move(listing.streams);
}
