#include "windows/PlayingListOutput.h"

#include "selection/PlayingList.h"
#include "windows/Scanner.h"
#include "windows/SessionDescriptions.h"
#include "windows/StandardInputWatch.h"
#include "windows/StandardStreams.h"
#include "windows/Utf8Text.h"

#include <windows.h>

#include <string>

namespace {

std::string playingNow() {
    // Sessions first: a process seen in a session is then in the process
    // list read after it, unless it has ended since.
    const std::vector<PlayingReport> reports = describeLiveSessions(createDeviceEnumerator);
    ProcessTable table;
    table.refresh();
    const std::vector<PlayingEntry> entries =
        playingEntries(table, reports, GetCurrentProcessId(),
                       [](const std::u16string& name) { return utf8FromUtf16(std::u16string_view(name)); });
    return playingListLine(entries);
}

}  // namespace

int listPlaying(bool follow) {
    if (follow) {
        startStandardInputWatch();
    }
    std::string shown = playingNow();
    if (!writeStandardOutputText(shown) || !follow) {
        return 0;
    }
    for (;;) {
        Sleep(rescanPauseMs);
        std::string line = playingNow();
        if (line == shown) {
            continue;
        }
        if (!writeStandardOutputText(line)) {
            return 0;
        }
        shown = std::move(line);
    }
}
