#include "linux/PlaybackStreamList.h"

#include "linux/DecimalProcessId.h"

#include <pulse/introspect.h>
#include <pulse/proplist.h>

#include <map>

namespace {

// How long a scan waits for each list; the server answers in milliseconds
// unless it has stopped answering altogether.
constexpr std::chrono::milliseconds listBound{2000};

// Filled on the main-loop thread by a list callback, read by the scanning
// thread once `done`; both with the main-loop lock held.
template <class Item>
struct Listing {
    pa_threaded_mainloop* loop = nullptr;
    std::vector<Item> items;
    bool done = false;
    bool failed = false;

    // True when this call ended the list.
    bool end(int last) {
        if (last == 0) {
            return false;
        }
        done = true;
        failed = last < 0;
        pa_threaded_mainloop_signal(loop, 0);
        return true;
    }
};

struct ListedClient {
    std::uint32_t index = 0;
    ProcessClaim claim;
    std::uint32_t kernelProcessId = 0;
    bool relayed = false;
    std::optional<std::string> name, icon;
};

std::string propertyText(const pa_proplist* properties, const char* key) {
    const char* value = pa_proplist_gets(properties, key);
    return value != nullptr ? value : "";
}

std::optional<std::string> propertyIfSet(const pa_proplist* properties, const char* key) {
    const char* value = pa_proplist_gets(properties, key);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

ProcessClaim claimIn(const pa_proplist* properties) {
    return {decimalProcessId(pa_proplist_gets(properties, PA_PROP_APPLICATION_PROCESS_ID)),
            propertyText(properties, PA_PROP_APPLICATION_PROCESS_BINARY)};
}

void onSinkInput(pa_context*, const pa_sink_input_info* info, int last, void* listing) {
    auto& result = *static_cast<Listing<ListedStream>*>(listing);
    if (result.end(last)) {
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
    ListedStream stream;
    stream.index = info->index;
    stream.sink = info->sink;
    stream.eventSound = propertyText(info->proplist, PA_PROP_MEDIA_ROLE) == "event";
    stream.corked = info->corked != 0;
    stream.owner.stream = claimIn(info->proplist);
    stream.owner.hasClient = info->client != PA_INVALID_INDEX;
    stream.client = info->client;
    stream.name = propertyIfSet(info->proplist, PA_PROP_APPLICATION_NAME);
    stream.media = propertyIfSet(info->proplist, PA_PROP_MEDIA_NAME);
    stream.icon = propertyIfSet(info->proplist, PA_PROP_APPLICATION_ICON_NAME);
    result.items.push_back(std::move(stream));
}

void onClient(pa_context*, const pa_client_info* info, int last, void* listing) {
    auto& result = *static_cast<Listing<ListedClient>*>(listing);
    if (result.end(last)) {
        return;
    }
    result.items.push_back({info->index, claimIn(info->proplist),
                            decimalProcessId(pa_proplist_gets(info->proplist, "pipewire.sec.pid")),
                            propertyText(info->proplist, "client.api") == "pipewire-pulse",
                            propertyIfSet(info->proplist, PA_PROP_APPLICATION_NAME),
                            propertyIfSet(info->proplist, PA_PROP_APPLICATION_ICON_NAME)});
}

// One introspection list, waited for within the bound; with the lock held.
template <class Item, class Request, class Callback>
std::optional<std::vector<Item>> listWithin(PulseConnection& pulse, Request request, Callback callback) {
    Listing<Item> listing;
    listing.loop = pulse.mainLoop();
    pa_operation* operation = request(pulse.context(), callback, &listing);
    if (operation == nullptr) {
        return std::nullopt;
    }
    const bool answered = pulse.waitUntil([&listing] { return listing.done; }, listBound);
    // Cancelled with the lock still held: the callback can no longer write
    // into `listing` once this function has returned.
    if (!answered) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    if (!answered || listing.failed) {
        return std::nullopt;
    }
    return std::move(listing.items);
}

}  // namespace

std::optional<std::vector<ListedStream>> listPlaybackStreams(PulseConnection& pulse, bool describe) {
    MainLoopLock held(pulse);
    pa_context* context = pulse.context();
    if (context == nullptr || pa_context_get_state(context) != PA_CONTEXT_READY) {
        return std::nullopt;
    }
    auto streams = listWithin<ListedStream>(pulse, pa_context_get_sink_input_info_list, onSinkInput);
    if (!streams) {
        return std::nullopt;
    }
    bool clientsNeeded = false;
    for (const ListedStream& stream : *streams) {
        clientsNeeded |= stream.owner.hasClient &&
                         (stream.owner.stream.processId == 0 || (describe && (!stream.name || !stream.icon)));
    }
    std::map<std::uint32_t, ListedClient> clients;
    if (clientsNeeded) {
        const auto listed = listWithin<ListedClient>(pulse, pa_context_get_client_info_list, onClient);
        if (!listed) {
            return std::nullopt;
        }
        for (const ListedClient& client : *listed) {
            clients[client.index] = client;
        }
    }
    for (ListedStream& stream : *streams) {
        const auto client = clients.find(stream.client);
        if (!stream.owner.hasClient || client == clients.end()) {
            continue;
        }
        stream.owner.client = client->second.claim;
        stream.owner.kernelProcessId = client->second.kernelProcessId;
        stream.owner.relayedClient = client->second.relayed;
        if (describe) {
            stream.name = stream.name ? stream.name : client->second.name;
            stream.icon = stream.icon ? stream.icon : client->second.icon;
        }
    }
    return streams;
}
