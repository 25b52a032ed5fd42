#pragma once
// How soon a record stream bound to one playback stream delivers audio: a
// libpulse client of its own (a plain pa_mainloop, one thread) that opens the
// record stream as the program does, or with other flags and fragment sizes,
// and times it. This is how the first-audio figures tell the server's share
// from the program's. Main thread only.

#include <pulse/def.h>

#include <cstdint>
#include <string>

namespace linuxbench {

struct RecordRequest {
    std::string name;
    pa_stream_flags_t flags;
    std::uint32_t fragmentBytes;  // (uint32_t)-1: the server's choice
};

// The request the program makes, and three others for comparison.
const RecordRequest& programRequest();
const RecordRequest* otherRequests(std::size_t& count);

// Seconds from connecting a record stream bound to `playbackStream` to its
// first sample louder than 0.01; -1 when none came within `bound` seconds or
// the server refused.
double secondsToFirstAudio(std::uint32_t playbackStream, const RecordRequest& request, double bound);

}  // namespace linuxbench
