#pragma once
// The sound a fake process-loopback stream carries: the sum of the tones of
// the players that are the target process or its descendants (include-tree
// capture), in 480-frame packets of 16-bit stereo at 48000 Hz.
//
// Made to be cheap, since it runs inside the program under test: a
// precomputed sine table with one phase accumulator per player, and the set
// of players a stream hears recomputed only when the record's generation
// moves (bounded walks up the slots' parent ids), never per sample.
//
// Threads: a ToneState belongs to one stream and is used by one thread at a
// time (the packet engine's, under its lock).

#include "FakeControl.h"

#include <cstdint>

namespace fakeplatform {

inline constexpr int packetFrames = 480;
inline constexpr int packetSamples = packetFrames * 2;
inline constexpr int sampleRate = 48000;

struct ToneState {
    bool membersKnown = false;
    LONG generation = 0;
    int memberCount = 0;
    std::uint8_t members[fake::maxPlayers] = {};
    std::uint32_t phase[fake::maxPlayers] = {};
};

// Whether slot `index` is `target` or one of its descendants, following the
// published slots' parent ids for at most 64 generations. A process in the
// chain that has no slot ends the walk.
bool slotDescendsFrom(const fake::ControlRecord& record, int index, DWORD target);

// Fills `out` (packetSamples values) with the next packet for `target` and
// returns true, or returns false, leaving `out` alone, when no member plays.
bool synthesizePacket(const fake::ControlRecord& record, DWORD target, ToneState& state, std::int16_t* out);

}  // namespace fakeplatform
