#pragma once
// The system's answer to "which process owns this window?", in the shape the
// command-line rules take it (a WindowOwnerLookup). Windows only.
//
// Threads: any; it keeps no state.

#include <cstdint>

// Stores the id of the process that owns window `handle` into `processId`;
// leaves it untouched when the handle names no window.
void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId);
