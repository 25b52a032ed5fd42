#pragma once
// The system's answer to "which process owns this window?", in the shape the
// command-line rules take it (a WindowOwnerLookup). Windows only.
//
// Threads: any; it keeps no state.

#include "windows/StoreAppWindow.h"

#include <cstdint>

// Stores the id of the process whose sound window `handle` stands for into
// `processId`: the process that owns the window, or for a Store app's frame
// (owned by ApplicationFrameHost.exe) the app's process inside it, or the
// frame host while none is. A frame is stored into `frame` too, so that the
// scans can look for its app again; any other window empties `frame`. Leaves
// both untouched when the handle names no window.
void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId, StoreAppFrame& frame);
