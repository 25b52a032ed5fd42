#pragma once
// The stream from the parent's side under the fake platform: blocks received
// against elapsed counter time and each block's lateness, with two steady
// players, or with players that start and stop so that every rescan opens
// and closes sources.
//
// Threads: the measuring program's main thread (the harness reads the
// stream on a thread of its own).

namespace measure {

// Runs the program for `seconds` and prints its figures; false when the run
// itself failed (no ready, no stream).
bool streamRun(double seconds, bool churn);

}  // namespace measure
