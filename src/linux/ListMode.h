#pragma once
// --list: what plays now, printed as one line on standard output; with
// --follow, a new line each time that changes, read again after every
// playback-stream event of the server and at least every 2000 ms (as scans
// are), until standard input ends (the watch ends the process) or standard
// output breaks. Captures nothing and prints nothing on standard error.
//
// Threads: the main thread, after the probe connected `pulse`; the only
// thread that scans then. It starts the standard-input watch itself, once
// the first line is out.

#include "linux/PulseConnection.h"
#include "selection/RescanWake.h"
#include "selection/ProcessTable.h"

#include <cstdint>

// 0 once the list has been printed and, with `follow`, once the output
// broke; the server's error number, with nothing printed, when the first
// list could not be had.
int printPlayingList(PulseConnection& pulse, RescanWake& wake, ProcessTable& table, std::uint32_t ownPid,
                     bool follow);
