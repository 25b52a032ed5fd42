#include "selection/StreamRules.h"

#include "selection/SelectionRules.h"

namespace {

bool ofProcess(const PlaybackStream& stream) {
    return stream.owner.kind == OwnerKind::Process && stream.owner.processId != 0 && !stream.eventSound;
}

// A stream whose process is not certain: only the name its program gave is
// known, and that name still keeps the audio routers out.
bool ofUnknownButNotIgnored(const PlaybackStream& stream) {
    if (stream.owner.kind != OwnerKind::Unknown || stream.eventSound) {
        return false;
    }
    return !isIgnoredName(lowerCased(nameFromBytes(stream.owner.binary)));
}

}  // namespace

StreamIndexSet wantedStreams(const ProcessTable& table, std::span<const PlaybackStream> streams,
                             const StreamSelection& selection) {
    StreamIndexSet wanted;
    if (!selection.allExcept) {
        if (table.lineageContains(selection.targetPid, selection.selfPid)) {
            return wanted;
        }
        for (const PlaybackStream& stream : streams) {
            if (ofProcess(stream) && table.lineageContains(stream.owner.processId, selection.targetPid)) {
                wanted.insert(stream.index);
            }
        }
        return wanted;
    }

    ProcessIdSet playing;
    for (const PlaybackStream& stream : streams) {
        if (ofProcess(stream)) {
            playing.insert(stream.owner.processId);
        }
    }
    const ProcessIdSet kept = candidatesOf(table, playing, selection.ownPid, selection.selfPid);
    for (const PlaybackStream& stream : streams) {
        if ((ofProcess(stream) && kept.contains(stream.owner.processId)) || ofUnknownButNotIgnored(stream)) {
            wanted.insert(stream.index);
        }
    }
    return wanted;
}
