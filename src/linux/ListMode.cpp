#include "linux/ListMode.h"

#include "linux/PlayingNow.h"
#include "linux/Scanner.h"
#include "linux/StandardInputWatch.h"
#include "linux/StandardStreams.h"
#include "selection/PlayingList.h"

#include <pulse/error.h>

#include <optional>
#include <string>

namespace {

// What plays now; nothing plays on a server that is gone and does not come
// back. Nothing when a server that is there did not answer: what was
// printed last may well still hold.
std::optional<std::string> currentLine(PulseConnection& pulse, ProcessTable& table, std::uint32_t ownPid) {
    if (!pulse.ready() && pulse.connect(reconnectBound) != 0) {
        return playingListLine({});
    }
    auto line = playingNowLine(pulse, table, ownPid);
    if (!line && !pulse.ready()) {
        return playingListLine({});
    }
    return line;
}

}  // namespace

int printPlayingList(PulseConnection& pulse, RescanWake& wake, ProcessTable& table, std::uint32_t ownPid,
                     bool follow) {
    const auto first = playingNowLine(pulse, table, ownPid);
    if (!first) {
        return pulse.ready() ? PA_ERR_TIMEOUT : PA_ERR_CONNECTIONTERMINATED;
    }
    if (!writeStandardOutput(*first) || !follow) {
        return 0;
    }
    startStandardInputWatch();
    std::string shown = *first;
    for (;;) {
        // The capture's rescan timing: a list that follows is as current as
        // the capture would be.
        wake.waitForWake(rescanPause, wakeSettle);
        // Checked at every turn, not only when a line is due: a parent that
        // closed its end must not wait for the next change to see us go.
        if (standardOutputBroken()) {
            return 0;
        }
        const auto line = currentLine(pulse, table, ownPid);
        if (line && *line != shown) {
            if (!writeStandardOutput(*line)) {
                return 0;
            }
            shown = *line;
        }
    }
}
