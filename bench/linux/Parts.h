#pragma once
// The parts of linux-figures, each against the given private server; each
// prints its figures (bench/Figure.h) and returns false only when it could
// not be measured at all. Main thread only.

#include "BenchServer.h"

#include <string>
#include <vector>

namespace linuxbench {

// The program's CPU and resident memory with `streams` players, beside one
// `parec --monitor-stream` per stream, over `seconds` after settling.
bool costPart(BenchServer& server, const std::string& scratch, double seconds, const std::vector<int>& streams);
// Discontinuities per minute in a pacat tone beside two busy loops, in the
// program's stream (run with `options`) and in a parec's on the same
// playback stream, over `seconds`.
bool clicksPart(BenchServer& server, const std::string& scratch, double seconds,
                const std::vector<std::string>& options);
// From a click written by a player to the click in the program's output
// (and in a parec's, the yardstick), over `clicks` clicks.
bool latencyPart(BenchServer& server, double clicks);
// From opening a record stream to its first audio, for 30 ms and 2 s
// players on fresh and busy sinks, with the program's request and others;
// and from a player's start to its sound in the program's stream.
bool firstAudioPart(BenchServer& server, const std::string& scratch, int runs);
// One scan's wall and CPU time with 8 players: pacat, native PipeWire
// players (PipeWire only) and sandboxed pacat; `scans` timed scans each.
bool scanPart(BenchServer& server, const std::string& scratch, int scans);
// Blocks received against elapsed time, and lateness, over `seconds`.
bool streamPart(BenchServer& server, const std::string& scratch, double seconds);

}  // namespace linuxbench
