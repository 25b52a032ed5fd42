// Entry of vintra-app-audio: start-up on the main thread, then the mixer.

#include "app/CommandLine.h"
#include "windows/AudioNotifications.h"
#include "windows/Mixer.h"
#include "windows/PlayingListOutput.h"
#include "windows/StandardInputWatch.h"
#include "windows/WindowOwner.h"
#include "windows/ActivateProcessLoopback.h"
#include "windows/StandardStreams.h"
#include "windows/ScanContext.h"
#include "selection/RescanWake.h"
#include "selection/ScanGate.h"
#include "windows/Scanner.h"

#include <windows.h>

#include <cstdio>
#include <thread>

namespace {

// Everything the main thread, the rescan thread and the sources share. It is
// allocated once and never freed: the rescan thread is never stopped and may
// still wake while the process ends, and Core Audio may still be calling the
// listener while it is being unregistered, so the state (its gate and wake
// above all) must stay in place until the process is gone. The teardown
// empties it instead.
struct SharedState {
    RescanWake wake;
    AudioNotifications notifications{wake};
    SelectionValues selection;
    ProcessTable processTable;
    std::mutex sourceMapLock;  // guards sources
    SourceMap sources;
    StoreAppFrame storeAppFrame;  // the scans' alone, once made
    ScanGate scanGate;
    ScanContext context{&processTable, &selection.allExcept, &selection.selfPid,
                        &selection.targetPid, &sourceMapLock, &sources, &selection.chosen,
                        &wake, &notifications};
};

// The output broke: unregister from Core Audio, stop every source and empty
// the tables. Closing the gate first waits out a scan in progress and keeps
// any later one from starting, so no walk registers anything afterwards.
void tearDown(SharedState& state) {
    state.scanGate.close();
    state.notifications.stop();
    state.sources.clear();
    state.processTable.names.clear();
    state.processTable.parents.clear();
}

bool probeProcessLoopback() {
    HRESULT result = 0;
    IAudioClient* client = ActivateProcessLoopback(GetCurrentProcessId(), &result);
    if (client == nullptr) {
        char line[32];
        int length = std::snprintf(line, sizeof line, "unsupported 0x%08lx\n",
                                   static_cast<unsigned long>(static_cast<std::uint32_t>(result)));
        writeStandardError(std::string_view(line, static_cast<std::size_t>(length)));
        return false;
    }
    client->Release();
    return true;
}

// Whether a process runs now, by one reading of the process list, taken
// when the command line first asks (for its first "--pid").
ProcessRunsCheck processRunsCheck(ProcessTable& running) {
    return [&running, read = false](std::uint32_t processId) mutable {
        if (!read) {
            running.refresh();
            read = true;
        }
        return running.parents.contains(processId);
    };
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setStandardOutputBinary();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    ProcessTable running;
    StoreAppFrame frame;  // a Store app's frame, when the window named is one
    const WindowOwnerLookup windowOwner = [&frame](std::uint64_t handle, std::uint32_t& processId) {
        lookUpWindowOwner(handle, processId, frame);
    };
    SelectionValues selection = parseCommandLine(argc, argv, windowOwner, processRunsCheck(running));
    if (!hasTarget(selection)) {
        writeStandardError(usageLine);
        return 1;
    }
    if (!probeProcessLoopback()) {
        return 2;
    }
    if (selection.list) {
        return listPlaying(selection.follow);
    }

    auto* state = new SharedState;
    state->selection = selection;
    if (frame.frameHost != 0) {
        state->storeAppFrame = frame;
        state->context.storeAppFrame = &state->storeAppFrame;
    }
    state->notifications.watchEndpoints(createDeviceEnumerator);

    Scanner(state->context);
    startStandardInputWatch();
    writeStandardError("ready\n");
    std::thread(rescanLoop, &state->context, &state->scanGate).detach();

    Mixer(state->sourceMapLock, state->sources, MixerOptions{selection.rateMatch});
    tearDown(*state);
    return 0;
}
