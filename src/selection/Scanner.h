#pragma once
// The scan: refresh the process table, decide which processes are wanted, and
// make the SourceMap match under the source-map lock.
//
// Threads: the main thread runs the first scan before "ready"; the rescan
// thread runs every later one. Both are in the multithreaded apartment.
// Scans never overlap.

#include "selection/ScanContext.h"
#include "selection/ScanGate.h"

// One whole scan. Prints nothing, reports nothing.
void Scanner(const ScanContext& context);

// The rescan thread's routine: forever, 2000 ms of sleep and then one scan
// through `gate`; once the gate is closed it only sleeps. Never returns.
[[noreturn]] void rescanLoop(const ScanContext* context, ScanGate* gate);
