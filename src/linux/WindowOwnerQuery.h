#pragma once
// The X server's answer to "which process made this window?", read with
// libxcb from the display that DISPLAY names.
//
// The server's own record comes first: the X-Resource extension names the
// pid it took from the client's socket credentials, which is the host's pid
// even for a client in a pid namespace of its own (a Flatpak app, anything
// under bubblewrap) whose _NET_WM_PID is its pid inside. The window's
// _NET_WM_PID is the answer only where the server has no such record, or
// where the server's pids are not this program's (the server in another pid
// namespace).
//
// Threads: any; it keeps no state (each call opens and closes its own
// connection). It blocks for as long as the X server takes to answer, since
// libxcb has no time-outs: the program calls it only where a server that
// never answers costs nothing but the answer (WindowOwner.h).

#include <cstdint>

// The pid of the process that made `window`; 0 when there is no display, no
// such window, or neither the server nor the window names a process.
std::uint32_t queryWindowOwner(std::uint32_t window);
