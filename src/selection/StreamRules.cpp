#include "selection/StreamRules.h"

#include "selection/ProgramNames.h"
#include "selection/SelectionRules.h"

namespace {

bool ofProcess(const PlaybackStream& stream) {
    return stream.owner.kind == OwnerKind::Process && stream.owner.processId != 0 && !stream.eventSound;
}

// A stream whose process is not certain: only the name its program gave is
// known, and that name still keeps the audio routers and the excluded
// programs out.
bool ofUnknownButNotLeftOut(const PlaybackStream& stream, const ChosenProcesses& chosen) {
    if (stream.owner.kind != OwnerKind::Unknown || stream.eventSound) {
        return false;
    }
    const std::u16string name = nameFromBytes(stream.owner.binary);
    if (isIgnoredName(lowerCased(name))) {
        return false;
    }
    for (const std::u16string& excluded : chosen.exceptPrograms) {
        if (nameIsProgram(name, excluded)) {
            return false;
        }
    }
    return true;
}

}  // namespace

StreamIndexSet wantedStreams(const ProcessTable& table, std::span<const PlaybackStream> streams,
                             const StreamSelection& selection) {
    StreamIndexSet wanted;
    const ChosenProcesses& chosen = selection.chosen;
    if (!selection.allExcept) {
        const ProcessIdSet targets =
            chosenTargets(table, {selection.targetPid, chosen.pids, chosen.programs, selection.selfPid});
        for (const PlaybackStream& stream : streams) {
            if (!ofProcess(stream)) {
                continue;
            }
            for (std::uint32_t target : targets) {
                if (table.lineageContains(stream.owner.processId, target)) {
                    wanted.insert(stream.index);
                    break;
                }
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
    std::vector<std::uint32_t> excluded{selection.selfPid};
    excluded.insert(excluded.end(), chosen.exceptPids.begin(), chosen.exceptPids.end());
    const ProcessIdSet kept =
        candidatesOf(table, playing, Exclusions{selection.ownPid, excluded, chosen.exceptPrograms});
    for (const PlaybackStream& stream : streams) {
        if ((ofProcess(stream) && kept.contains(stream.owner.processId)) || ofUnknownButNotLeftOut(stream, chosen)) {
            wanted.insert(stream.index);
        }
    }
    return wanted;
}
