#include "linux/Scanner.h"

#include "linux/PlaybackStreamList.h"
#include "linux/ProcProcessLookup.h"
#include "selection/Reconcile.h"

#include <map>

namespace {

constexpr std::chrono::milliseconds rescanPause{2000};
constexpr std::chrono::milliseconds wakeSettle{20};

// A scan that finds the server gone tries once to reach it again, and waits
// less than the start-up probe: the mixer does not wait for it, but the final
// teardown waits for a scan in progress.
constexpr std::chrono::milliseconds reconnectBound{2000};

// Removes the sources whose record stream has ended, or whose played stream
// is gone or now plays to another sink: the reconciliation that follows then
// opens a new source for each of them that is still wanted.
void closeStaleSources(const ScanContext& context, const std::map<std::uint32_t, std::uint32_t>& sinkOf) {
    std::lock_guard<std::mutex> held(*context.sourceMapLock);
    for (auto entry = context.sources->begin(); entry != context.sources->end();) {
        const auto listed = sinkOf.find(entry->first);
        const bool stale = entry->second->ended() || listed == sinkOf.end() ||
                           listed->second != entry->second->sink;
        if (stale) {
            // Out of the map first, then destroyed: the map never holds a
            // source being torn down.
            auto node = context.sources->extract(entry++);
            node.mapped().reset();
        } else {
            ++entry;
        }
    }
}

}  // namespace

void Scanner(const ScanContext& context) {
    PulseConnection& pulse = *context.pulse;
    if (!pulse.ready()) {
        // The server went away: every record stream went with it.
        closeStaleSources(context, {});
        if (pulse.connect(reconnectBound) != 0) {
            return;
        }
    }
    ProcessTable& table = *context.processTable;
    table.refresh();

    const auto listed = listPlaybackStreams(pulse);
    if (!listed) {
        // No answer: keep what is recording now, unless the connection broke.
        if (!pulse.ready()) {
            closeStaleSources(context, {});
        }
        return;
    }
    ProcProcessLookup processes;
    std::vector<PlaybackStream> streams;
    for (const ListedStream& stream : *listed) {
        streams.push_back({stream.index, stream.sink, resolveStreamOwner(stream.owner, processes), stream.eventSound});
    }
    std::map<std::uint32_t, std::uint32_t> sinkOf;
    std::map<std::uint32_t, const PlaybackStream*> byIndex;
    for (const PlaybackStream& stream : streams) {
        sinkOf[stream.index] = stream.sink;
        byIndex[stream.index] = &stream;
    }
    const StreamIndexSet wanted = wantedStreams(table, streams, context.selection);

    closeStaleSources(context, sinkOf);
    reconcileSources(*context.sourceMapLock, *context.sources, wanted, [&](std::uint32_t index) {
        return RecordSource::open(pulse, *byIndex.at(index));
    });
}

void rescanLoop(const ScanContext* context, ScanGate* gate, RescanWake* wake) {
    for (;;) {
        wake->waitForWake(rescanPause, wakeSettle);
        // Once the main flow has torn the shared state down the gate stays
        // closed, and this thread only waits until the process ends.
        gate->runIfOpen([context] { Scanner(*context); });
    }
}
