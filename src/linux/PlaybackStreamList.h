#pragma once
// The server's playback streams (its sink inputs) as the scan needs them:
// index, the sink each plays to, whether it is an event sound (media.role
// "event"), and what the server says of the process that plays it: the
// stream's own application.process.* properties and, for streams that carry
// none (native PipeWire players), those of the client that made the stream;
// and how the stream describes itself and whether it is corked, for the list
// of what plays.
//
// Threads: the scanning thread, without the main-loop lock (it takes it).

#include "linux/PulseConnection.h"
#include "selection/StreamOwner.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ListedStream {
    std::uint32_t index = 0;
    std::uint32_t sink = 0;
    bool eventSound = false;
    bool corked = false;  // held, not playing: a paused player's stream
    std::uint32_t client = 0;  // the client's index, with owner.hasClient
    OwnerReport owner;
    // application.name, media.name and application.icon_name as the server
    // gives them; the name and the icon are the client's when the stream
    // has none and descriptions were asked for.
    std::optional<std::string> name, media, icon;
};

// Every playback stream, or nothing when the list could not be had: no ready
// context, a refused request, or no complete answer within the bound. The
// clients are asked for only when a stream names no process of its own, or,
// with `describe`, lacks a name or an icon.
std::optional<std::vector<ListedStream>> listPlaybackStreams(PulseConnection& pulse, bool describe = false);
