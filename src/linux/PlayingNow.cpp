#include "linux/PlayingNow.h"

#include "linux/FlatpakAppId.h"
#include "linux/PlaybackStreamList.h"
#include "linux/ProcProcessLookup.h"
#include "selection/PlayingList.h"

#include <vector>

std::optional<std::string> playingNowLine(PulseConnection& pulse, ProcessTable& table, std::uint32_t ownPid) {
    const auto listed = listPlaybackStreams(pulse, true);
    if (!listed) {
        return std::nullopt;
    }
    table.withExecutables = true;
    table.refresh();
    ProcProcessLookup processes;
    std::vector<PlayingReport> reports;
    for (const ListedStream& stream : *listed) {
        // What all-except mode would consider: no event sounds, none of the
        // server's own streams.
        const StreamOwner owner = resolveStreamOwner(stream.owner, processes);
        if (stream.eventSound || owner.kind == OwnerKind::Server) {
            continue;
        }
        PlayingReport report{std::nullopt, owner.binary, stream.name, stream.media, stream.icon, !stream.corked};
        if (owner.kind == OwnerKind::Process && owner.processId != 0) {
            report.processId = owner.processId;
        }
        reports.push_back(std::move(report));
    }
    // The table keeps Linux names one byte per code unit: back to the bytes
    // the system gave, UTF-8 or not; the line's writer replaces what is not.
    std::vector<PlayingEntry> entries = playingEntries(
        table, reports, ownPid, [](const std::u16string& name) { return bytesOfName(name); });
    for (PlayingEntry& entry : entries) {
        if (entry.pid) {
            entry.appId = flatpakAppIdOf(*entry.pid);
        }
    }
    return playingListLine(entries);
}
