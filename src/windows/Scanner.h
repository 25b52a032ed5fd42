#pragma once
// The scan: refresh the process table, decide which processes are wanted, and
// make the SourceMap match, taking the source-map lock only to take sources
// out of the map and to put new ones in (selection/Reconcile.h).
//
// Threads: the main thread runs the first scan before "ready"; the rescan
// thread runs every later one. Both are in the multithreaded apartment.
// Scans never overlap: the first ends before the rescan thread starts, and
// the rescan thread runs its scans one at a time, 2000 ms after the last or
// soon after a wake (a new session, a changed endpoint, a dead client).

#include "windows/CaptureSource.h"
#include "windows/ScanContext.h"
#include "selection/RescanWake.h"
#include "selection/ScanGate.h"
#include "windows/SessionWalk.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// The pause before each rescan; the list that follows what plays looks again
// as often. After a wake the scan waits wakeSettleMs, so that changes that
// come together (an endpoint that appears reports more than once) cost one.
inline constexpr DWORD rescanPauseMs = 2000;
inline constexpr DWORD wakeSettleMs = 20;

// One whole scan. Prints nothing, reports nothing.
void Scanner(const ScanContext& context);

// The rescan thread's routine: forever, one scan through `gate` 2000 ms
// after the last, or soon after the context's `wake` is woken; once the gate is closed it
// only waits. Never returns.
[[noreturn]] void rescanLoop(const ScanContext* context, ScanGate* gate);

// Returns a running source for the process id, or nothing.
using SourceOpener = std::function<std::unique_ptr<CaptureSource>(std::uint32_t processId)>;

// Scanner with its two doors to the audio system passed in: where the device
// enumerator comes from and how a source is opened. Scanner passes the real
// ones; tests pass fakes.
void scanWith(const ScanContext& context, const DeviceEnumeratorFactory& createEnumerator,
              const SourceOpener& open);
