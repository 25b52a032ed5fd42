#include "windows/Scanner.h"

#include "windows/AudioNotifications.h"
#include "windows/OpenCaptureSource.h"
#include "selection/Reconcile.h"
#include "selection/SelectionRules.h"

#include <windows.h>

#include <vector>

void scanWith(const ScanContext& context, const DeviceEnumeratorFactory& createEnumerator,
              const SourceOpener& open) {
    ProcessTable& table = *context.processTable;
    table.refresh();

    // Nothing here takes the source-map lock; the reconciliation takes it
    // only for the moments it changes the map.
    // A context made without choices (the six fields alone) chooses nothing more.
    static const ChosenProcesses nothingChosen;
    const ChosenProcesses& chosen = context.chosen != nullptr ? *context.chosen : nothingChosen;
    // The walk registers for new sessions too, where that is due.
    const SessionManagerHook registrations =
        context.notifications != nullptr ? context.notifications->registrationHook() : nullptr;
    ProcessIdSet wanted;
    if (*context.allExcept) {
        // The process that "--all-except" (or "--self") names is left out
        // beside those of "--except-pid".
        std::vector<std::uint32_t> excluded = chosen.exceptPids;
        excluded.push_back(*context.selfPid);
        ProcessIdSet sessionPids = gatherSessionProcessIds(createEnumerator, registrations);
        wanted = wantedByAllExceptRule(table, sessionPids,
                                       Exclusions{GetCurrentProcessId(), excluded, chosen.exceptPrograms});
    } else {
        // Sessions choose nothing here, but a new one may be a chosen
        // program's that starts again: the registrations are kept up by a
        // walk of its own, made only when they are due.
        if (registrations) {
            walkLiveSessions(createEnumerator, [](std::uint32_t, IAudioSessionControl&) {}, registrations);
        }
        // Programs are looked for in this scan's table, so a program that
        // starts again later is found again; so is a Store app restored into
        // its frame. The --self guard applies to whatever is found.
        const std::uint32_t windowPid =
            context.storeAppFrame != nullptr ? currentStoreApp(*context.storeAppFrame) : *context.targetPid;
        wanted = wantedByTargetRule(table, Targets{windowPid, chosen.pids, chosen.programs, *context.selfPid});
    }

    // A source whose client lost its device is closed and, if its process
    // is still wanted, opened again with a new client.
    reconcileSources(*context.sourceMapLock, *context.sources, wanted, open,
                     [](std::uint32_t, const CaptureSource& source) { return source.ended(); });
}

void Scanner(const ScanContext& context) {
    scanWith(context, createDeviceEnumerator,
             [&context](std::uint32_t processId) { return openCaptureSource(processId, context.wake); });
}

void rescanLoop(const ScanContext* context, ScanGate* gate) {
    // The thread never leaves the apartment: it ends only with the process.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        context->wake->waitForWake(std::chrono::milliseconds(rescanPauseMs), std::chrono::milliseconds(wakeSettleMs));
        // Once the main flow has torn the shared state down the gate stays
        // closed, and this thread only waits until the process ends.
        gate->runIfOpen([context] { Scanner(*context); });
    }
}
