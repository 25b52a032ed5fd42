#include "linux/Scanner.h"

#include "linux/PlaybackStreamList.h"
#include "linux/ProcProcessLookup.h"
#include "selection/Reconcile.h"

#include <map>

namespace {

// Closes every source, outside the source-map lock: the server went away,
// and every record stream went with it.
void closeAllSources(const ScanContext& context) {
    reconcileSources(*context.sourceMapLock, *context.sources, {},
                     [](std::uint32_t) { return std::unique_ptr<RecordSource>(); },
                     [](std::uint32_t, const RecordSource&) { return true; });
}

}  // namespace

void Scanner(const ScanContext& context) {
    PulseConnection& pulse = *context.pulse;
    if (!pulse.ready()) {
        closeAllSources(context);
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
            closeAllSources(context);
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

    // A source whose record stream has ended, or whose played stream is gone
    // or now plays to another sink, is replaced by a new one if its stream
    // is still wanted.
    const auto stale = [&](std::uint32_t index, const RecordSource& source) {
        const auto listed = sinkOf.find(index);
        return source.ended() || listed == sinkOf.end() || listed->second != source.sink;
    };
    reconcileSources(
        *context.sourceMapLock, *context.sources, wanted,
        [&](std::uint32_t index) { return RecordSource::open(pulse, *byIndex.at(index)); }, stale);
}

void rescanLoop(const ScanContext* context, ScanGate* gate, RescanWake* wake) {
    for (;;) {
        wake->waitForWake(rescanPause, wakeSettle);
        // Once the main flow has torn the shared state down the gate stays
        // closed, and this thread only waits until the process ends.
        gate->runIfOpen([context] { Scanner(*context); });
    }
}
