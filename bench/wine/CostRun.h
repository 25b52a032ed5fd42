#pragma once
// What the running program costs, read from outside while a parent reads its
// stream from a pipe: CPU time per second of run, working set, and time to
// "ready\n", each beside the same figure of a yardstick started the same way
// (bench-minimal.exe for Wine's floor, bench-fake-drain.exe for the fake
// platform's own work).
//
// Threads: the measuring program's main thread.

#include <vector>

namespace measure {

// CPU and working set of the program with each number of playing sources,
// of the fake's drain alone with as many clients, and of the minimal
// yardsticks; each measured over `seconds` of steady running.
bool costRun(const std::vector<int>& sourceCounts, double seconds);

// Start-up: `runs` starts of the minimal exe and of the program, alternated.
bool startupRun(int runs);

}  // namespace measure
