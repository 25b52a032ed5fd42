#pragma once
// The Linux program's selection: which of the sound server's playback streams
// are to be recorded. Each stream is recorded alone (a record stream bound to
// that one playback stream), so the rule picks streams, not processes, and no
// process is dropped for having a captured ancestor: a child's stream is not
// heard through its parent's.
//
// OS-free and pure. Called on the scanning thread, after the process table's
// refresh and before the source-map lock is taken.

#include "selection/ChosenProcesses.h"
#include "selection/ProcessTable.h"
#include "selection/StreamOwner.h"

#include <cstdint>
#include <set>
#include <span>
#include <vector>

// One playback stream as a scan sees it.
struct PlaybackStream {
    std::uint32_t index = 0;      // the server's id of the stream
    std::uint32_t sink = 0;       // the output it plays to
    StreamOwner owner;            // who plays it (StreamOwner.h)
    bool eventSound = false;      // a system or notification sound
};

using StreamIndexSet = std::set<std::uint32_t>;

struct StreamSelection {
    bool allExcept = false;
    std::uint32_t targetPid = 0;  // window mode: the window's process
    std::uint32_t selfPid = 0;    // the caller (window mode) or the excluded process
    std::uint32_t ownPid = 0;     // this program
    ChosenProcesses chosen;       // more targets, or more left out
};

// The indices of the streams to record. The server's own streams and event
// sounds never qualify. Target mode: every stream of a chosen target (the
// window's process, each --pid, each process of an --exe program) or one of
// its descendants, but of no target that is the self process or one of its
// descendants; a stream of an unknown process is never a target's. All-except
// mode: every stream whose process survives candidatesOf's exclusions, and
// every stream of an unknown process, of which nothing shows that it belongs
// to an excluded tree, unless the program it names has an ignored or an
// excluded name.
StreamIndexSet wantedStreams(const ProcessTable& table, std::span<const PlaybackStream> streams,
                             const StreamSelection& selection);
