#include "selection/StreamRules.h"

#include "selection/SelectionRules.h"

StreamIndexSet wantedStreams(const ProcessTable& table, std::span<const PlaybackStream> streams,
                             const StreamSelection& selection) {
    auto qualifies = [](const PlaybackStream& stream) {
        return stream.processId != 0 && !stream.eventSound;
    };
    StreamIndexSet wanted;
    if (!selection.allExcept) {
        if (table.lineageContains(selection.targetPid, selection.selfPid)) {
            return wanted;
        }
        for (const PlaybackStream& stream : streams) {
            if (qualifies(stream) && table.lineageContains(stream.processId, selection.targetPid)) {
                wanted.insert(stream.index);
            }
        }
        return wanted;
    }

    ProcessIdSet playing;
    for (const PlaybackStream& stream : streams) {
        if (qualifies(stream)) {
            playing.insert(stream.processId);
        }
    }
    const ProcessIdSet kept = candidatesOf(table, playing, selection.ownPid, selection.selfPid);
    for (const PlaybackStream& stream : streams) {
        if (qualifies(stream) && kept.contains(stream.processId)) {
            wanted.insert(stream.index);
        }
    }
    return wanted;
}
