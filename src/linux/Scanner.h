#pragma once
// The scan: refresh the process table, list the server's playback streams,
// decide which are wanted, and make the SourceMap match, taking the
// source-map lock only to take sources out of the map and to put new ones in
// (selection/Reconcile.h). A scan also reconnects to the server when the
// connection has broken.
//
// Threads: the main thread runs the first scan before "ready"; the rescan
// thread runs every later one, inside the scan gate. Scans never overlap.

#include "linux/PulseConnection.h"
#include "linux/SourceMap.h"
#include "selection/ProcessTable.h"
#include "selection/RescanWake.h"
#include "selection/ScanGate.h"
#include "selection/StreamRules.h"

#include <chrono>
#include <mutex>

// What a scan works on: non-owning pointers into the state that the main flow
// owns for the whole run, and the selection, fixed at start-up.
struct ScanContext {
    PulseConnection* pulse;
    ProcessTable* processTable;
    StreamSelection selection;
    std::mutex* sourceMapLock;  // guards *sources
    SourceMap* sources;
};

// The rescan timing: a scan 2000 ms after the last, or this soon after the
// server announces a change (RescanWake.h); a scan that finds the server
// gone tries once to reach it again, for at most reconnectBound, less than
// the start-up probe (the final teardown waits for a scan in progress). The
// list that follows what plays keeps the same timing.
inline constexpr std::chrono::milliseconds rescanPause{2000};
inline constexpr std::chrono::milliseconds wakeSettle{20};
inline constexpr std::chrono::milliseconds reconnectBound{2000};

// One whole scan. Prints nothing, reports nothing.
void Scanner(const ScanContext& context);

// The rescan thread's routine: forever, a scan through `gate` 2000 ms after
// the last one, or soon after `wake` is woken; once the gate is closed it only
// waits. Never returns.
[[noreturn]] void rescanLoop(const ScanContext* context, ScanGate* gate, RescanWake* wake);
