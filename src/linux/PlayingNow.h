#pragma once
// What plays now on the sound server, as --list prints it: one line of JSON
// (selection/PlayingList.h) with an entry per process that plays, found by
// the same stream-owner rule as the capture's, and the Flatpak app each
// belongs to.
//
// Threads: the main thread of a --list run (the only one that scans then),
// without the main-loop lock.

#include "linux/PulseConnection.h"
#include "selection/ProcessTable.h"

#include <cstdint>
#include <optional>
#include <string>

// The line, "\n" included; nothing when the server gave no list. Refreshes
// `table` (with executables) after listing the streams, so that it holds
// every process that played then. `ownPid` is left out.
std::optional<std::string> playingNowLine(PulseConnection& pulse, ProcessTable& table, std::uint32_t ownPid);
