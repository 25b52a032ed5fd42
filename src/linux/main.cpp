// Entry of the Linux vintra-app-audio: start-up on the main thread, then the
// mixer, or the list of what plays.

#include "app/CommandLine.h"
#include "linux/ListMode.h"
#include "linux/Mixer.h"
#include "linux/ProcFiles.h"
#include "linux/PulseConnection.h"
#include "linux/Scanner.h"
#include "linux/StandardInputWatch.h"
#include "linux/StandardStreams.h"
#include "linux/WindowOwner.h"
#include "selection/RescanWake.h"
#include "selection/ScanGate.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// The start-up probe's bound on reaching a ready server.
constexpr std::chrono::milliseconds probeBound{5000};

// Everything the main thread, the rescan thread, the main-loop thread and the
// sources share. It is allocated once and never freed: the rescan thread is
// never stopped and may still wake while the process ends, so the state (its
// gate and wake above all) must stay in place until the process is gone. The
// teardown empties it instead.
struct SharedState {
    RescanWake wake;
    PulseConnection pulse{[this] { wake.wake(); }};
    ProcessTable processTable;
    std::mutex sourceMapLock;  // guards sources
    SourceMap sources;
    ScanGate scanGate;
    ScanContext context{&pulse, &processTable, {}, &sourceMapLock, &sources};
};

// The output broke: stop every source, leave the server, empty the tables.
// Closing the gate first waits out a scan in progress and keeps any later one
// from starting.
void tearDown(SharedState& state) {
    state.scanGate.close();
    state.sources.clear();
    state.pulse.shutDown();
    state.processTable.names.clear();
    state.processTable.parents.clear();
}

// The command line's rules read wide strings: each byte becomes one code
// unit. Options and numbers are ASCII; other bytes only need to stay what
// they are (never an option, never a digit).
std::vector<std::wstring> widened(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) {
        std::wstring argument;
        for (const char* p = argv[i]; *p != '\0'; ++p) {
            argument.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

void reportUnsupported(int error) {
    char line[32];
    const int length = std::snprintf(line, sizeof line, "unsupported 0x%08lx\n",
                                     static_cast<unsigned long>(static_cast<std::uint32_t>(error)));
    writeStandardError(std::string_view(line, static_cast<std::size_t>(length)));
}

}  // namespace

int main(int argc, char** argv) {
    ignoreBrokenPipeSignal();

    const std::vector<std::wstring> arguments = widened(argc, argv);
    std::vector<const wchar_t*> argumentTexts;
    for (const std::wstring& argument : arguments) {
        argumentTexts.push_back(argument.c_str());
    }
    // Still the only thread: the window look-up forks (WindowOwner.h).
    const SelectionValues selection =
        parseCommandLine(argc, argumentTexts.data(), lookUpWindowOwner, processRuns);
    if (!hasTarget(selection)) {
        writeStandardError(usageLine);
        return 1;
    }

    auto* state = new SharedState;
    const auto ownPid = static_cast<std::uint32_t>(getpid());
    state->context.selection = {selection.allExcept, selection.targetPid, selection.selfPid, ownPid,
                                selection.chosen};
    // Programs are matched by their executables too, which the table reads
    // only when asked (ProcessTable.h).
    state->processTable.withExecutables =
        !selection.chosen.programs.empty() || !selection.chosen.exceptPrograms.empty();
    if (const int error = state->pulse.connect(probeBound); error != 0) {
        state->pulse.shutDown();
        reportUnsupported(error);
        return 2;
    }

    if (selection.list) {
        const int error =
            printPlayingList(state->pulse, state->wake, state->processTable, ownPid, selection.follow);
        state->pulse.shutDown();
        if (error != 0) {
            reportUnsupported(error);
            return 2;
        }
        return 0;
    }

    Scanner(state->context);
    startStandardInputWatch();
    writeStandardError("ready\n");
    std::thread(rescanLoop, &state->context, &state->scanGate, &state->wake).detach();

    Mixer(state->sourceMapLock, state->sources, MixerOptions{selection.rateMatch});
    tearDown(*state);
    return 0;
}
