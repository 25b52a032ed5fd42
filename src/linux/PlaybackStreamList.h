#pragma once
// The server's playback streams (its sink inputs), as the stream rule reads
// them: index, the sink each plays to, the playing process from the stream's
// application.process.id, and whether it is an event sound (media.role
// "event").
//
// Threads: the scanning thread, without the main-loop lock (it takes it).

#include "linux/PulseConnection.h"
#include "selection/StreamRules.h"

#include <optional>
#include <vector>

// Every playback stream, or nothing when the list could not be had: no ready
// context, a refused request, or no complete answer within the bound.
std::optional<std::vector<PlaybackStream>> listPlaybackStreams(PulseConnection& pulse);
