#pragma once
// "Which process owns this window?" on X11: the window's _NET_WM_PID
// property, read with libxcb from the display that DISPLAY names. In the
// shape the command-line rules take it (a WindowOwnerLookup).
//
// Threads: any; it keeps no state (each call opens and closes its own
// connection to the display).

#include <cstdint>

// Stores the window's _NET_WM_PID into `processId`; leaves it untouched when
// there is no display, no such window, no such property or a zero value.
void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId);
