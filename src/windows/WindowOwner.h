#pragma once
// The system's answer to "which process owns this window?", in the shape the
// command-line rules take it (a WindowOwnerLookup). Windows only.
//
// Threads: any; it keeps no state.

#include <cstdint>

// Stores the id of the process whose sound window `handle` stands for into
// `processId`: the process that owns the window, or for a Store app's frame
// (owned by ApplicationFrameHost.exe) the app's process inside it. Leaves
// `processId` untouched when the handle names no window.
void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId);
