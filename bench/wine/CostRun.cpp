#include "CostRun.h"

#include "FakeAudioSession.h"
#include "Figure.h"
#include "ProcessProbe.h"
#include "StreamFigures.h"
#include "MeasuredProgram.h"

#include <algorithm>
#include <cstdio>

namespace measure {
namespace {

// Let the first scans, the fake's first packets and the heap settle before
// the window opens.
constexpr DWORD settleMs = 3000;

struct Steady {
    bool valid = false;
    double cpuShare = 0;        // CPU seconds per second of run
    double fakeEngineShare = 0; // of which the fake's delivery thread
    double workingSetBytes = 0;
    double privateBytes = 0;
    std::uint32_t threads = 0;
    std::uint32_t handles = 0;
};

// The fake's packet engine runs at time-critical priority, as an audio
// engine's thread does; nothing of the program raises a priority.
std::vector<ThreadCpu> engineThreads(const std::vector<ThreadCpu>& threads) {
    std::vector<ThreadCpu> engine;
    for (const ThreadCpu& t : threads) {
        if (t.priority == THREAD_PRIORITY_TIME_CRITICAL) engine.push_back(t);
    }
    return engine;
}

// Measures a started, ready program over `seconds`, then ends it. The
// window opens after the set of threads has settled, so that no thread
// ends inside it and the per-thread sum is the process's whole CPU time.
Steady measureSteady(MeasuredProgram& program, double seconds, const std::string& label) {
    Steady steady;
    ProcessProbe probe(program.processId());
    if (!probe.open()) return steady;
    Sleep(settleMs);
    const std::vector<ThreadCpu> before = probe.threads();
    const Ticks t0 = now();
    Sleep(static_cast<DWORD>(seconds * 1000));
    const std::vector<ThreadCpu> after = probe.threads();
    const double elapsed = secondsBetween(t0, now());
    const ProcessCost end = probe.read();
    program.closeInput();
    program.waitForExit(exitBoundMs);
    program.closeOutput();
    if (!end.valid || before.empty()) return steady;
    steady.valid = true;
    // Where the time went, thread by thread in the snapshot's order (the
    // main thread first), for the commentary.
    std::string perThread = label + ", CPU by thread (% of a core, main first):";
    for (const ThreadCpu& t : after) {
        char entry[48];
        std::snprintf(entry, sizeof entry, " %.2f%s", cpuBetween(before, {t}) / elapsed * 100,
                      t.priority == THREAD_PRIORITY_TIME_CRITICAL ? "(tc)" : "");
        perThread += entry;
    }
    note(perThread);
    steady.cpuShare = cpuBetween(before, after) / elapsed;
    steady.fakeEngineShare = cpuBetween(engineThreads(before), engineThreads(after)) / elapsed;
    steady.workingSetBytes = static_cast<double>(end.workingSetBytes);
    steady.privateBytes = static_cast<double>(end.privateBytes);
    steady.threads = end.threads;
    steady.handles = end.handles;
    return steady;
}

Steady runReady(FakeAudioSession& session, const std::wstring& exe, const std::vector<std::wstring>& args,
                double seconds, LONG expectClients, const std::string& label) {
    const LONG base = session.runningClients();
    auto program = session.start(exe, args);
    if (!program->waitForReady(readyBoundMs)) {
        note("no ready from a measured program: " + program->standardError());
        return {};
    }
    program->startReading();
    if (!session.waitForRunningClients(base + expectClients, 60000)) {
        note("expected " + std::to_string(expectClients) + " running clients, saw " +
             std::to_string(session.runningClients() - base));
    }
    return measureSteady(*program, seconds, label);
}

double mb(double bytes) { return bytes / (1024.0 * 1024.0); }

// A fresh Wine process's working set varies by some MB from one start to the
// next (which pages of the shared DLLs it happens to touch), so working sets
// are the median of a few starts, each read after the settling time.
constexpr int workingSetStarts = 3;

double medianWorkingSet(FakeAudioSession& session, const std::wstring& exe, const std::vector<std::wstring>& args,
                        double firstReading) {
    std::vector<double> readings{firstReading};
    while (readings.size() < workingSetStarts) {
        auto program = session.start(exe, args);
        if (!program->waitForReady(readyBoundMs)) break;
        program->startReading();
        Sleep(settleMs);
        ProcessProbe probe(program->processId());
        const ProcessCost cost = probe.read();
        if (cost.valid) readings.push_back(static_cast<double>(cost.workingSetBytes));
        program->closeInput();
        program->waitForExit(exitBoundMs);
        program->closeOutput();
    }
    return quantile(readings, 0.5);
}

}  // namespace

bool costRun(const std::vector<int>& sourceCounts, double seconds) {
    FakeAudioSession session;
    if (!session.ready()) return false;
    const std::string window = std::to_string(static_cast<int>(seconds)) + " s window after " +
                               std::to_string(settleMs / 1000) + " s settling";

    // Yardsticks first: they load no fake and need no player.
    const Steady idle = runReady(session, minimalPath(), {}, seconds, 0, "minimal exe");
    const Steady writer = runReady(session, minimalPath(), {L"--stream"}, seconds, 0, "minimal exe --stream");
    const Steady threads32 = runReady(session, minimalPath(), {L"--threads", L"32"}, seconds, 0, "minimal exe --threads 32");
    const Steady libraries = runReady(session, minimalPath(), {L"--libraries"}, seconds, 0, "minimal exe --libraries");
    if (!idle.valid || !writer.valid || !threads32.valid || !libraries.valid) return false;
    const double idleSet = medianWorkingSet(session, minimalPath(), {}, idle.workingSetBytes);
    const double librariesSet = medianWorkingSet(session, minimalPath(), {L"--libraries"}, libraries.workingSetBytes);
    const std::string setHow = "PROCESS_MEMORY_COUNTERS.WorkingSetSize after settling, median of " +
                               std::to_string(workingSetStarts) + " starts";
    const std::string cpuHow = "sum of GetThreadTimes deltas / counter time, " + window + ", stream read from a pipe";
    figure("floor", "minimal exe, idle: CPU", idle.cpuShare * 100, "% of a core", "", cpuHow);
    figure("floor", "minimal exe, 10 ms writes of 3840 bytes: CPU", writer.cpuShare * 100, "% of a core", "",
           cpuHow + "; Sleep-paced fwrite+fflush into the pipe, stdin watch thread");
    figure("floor", "minimal exe, idle: working set", mb(idleSet), "MB", "", setHow);
    figure("floor", "minimal exe with the program's DLLs: working set", mb(librariesSet), "MB", "",
           setHow + "; user32, ole32 (multithreaded apartment) and mmdevapi (the fake) loaded");
    const double perThread = (threads32.workingSetBytes - idleSet) / 32.0;
    figure("floor", "working set per idle thread", perThread / 1024.0, "KB", "",
           "(minimal exe with 32 threads waiting on events - idle) / 32");

    Steady zero;
    int previousCount = 0;
    double previousSet = 0;
    for (int n : sourceCounts) {
        while (session.playerCount() < static_cast<std::size_t>(n)) {
            if (!session.startPlayer(200 + 37 * static_cast<long>(session.playerCount()))) {
                note("a player did not start");
                return false;
            }
        }
        while (session.playerCount() > static_cast<std::size_t>(n)) session.stopOldestPlayer();
        const std::string sources = std::to_string(n) + (n == 1 ? " source" : " sources");

        const Steady exe = runReady(session, programPath(), {L"--all-except", L"0"}, seconds, n, "program, " + sources);
        if (!exe.valid) return false;
        if (n == 0) {
            zero = exe;
            zero.workingSetBytes = medianWorkingSet(session, programPath(), {L"--all-except", L"0"}, exe.workingSetBytes);
        }
        Steady drain;
        if (n > 0) {
            std::vector<std::wstring> pids;
            for (DWORD pid : session.playerIds()) pids.push_back(std::to_wstring(pid));
            drain = runReady(session, fakeDrainPath(), pids, seconds, n, "drain exe, " + sources);
        }
        const std::string group = "cost, " + sources;
        figure(group, "program: CPU", exe.cpuShare * 100, "% of a core", "", cpuHow);
        figure(group, "fake's delivery thread inside the program: CPU", exe.fakeEngineShare * 100, "% of a core", "",
               "GetThreadTimes delta of the program's time-critical thread (the fake's engine)");
        if (n > 0) {
            figure(group, "fake alone (drain exe, same clients): CPU", drain.cpuShare * 100, "% of a core", "",
                   "bench-fake-drain.exe: activates and drains the same " + sources +
                       " on one thread each, no conversion, mixing or output");
        }
        // The fake's delivery thread costs the same work in both processes
        // but its share swings with how the machine wakes it, so each
        // process's own engine thread is taken out before comparing: what is
        // left of the drain is what Wine charges for the clients' events and
        // calls, which the program pays just the same.
        const double own = (exe.cpuShare - exe.fakeEngineShare) - (drain.cpuShare - drain.fakeEngineShare);
        figure(group, "program's own: CPU", own * 100, "% of a core", n == 8 ? "< 2" : "",
               "(program - its fake delivery thread) - (drain exe - its fake delivery thread)");
        figure(group, "program's own beyond the writer floor", (own - writer.cpuShare) * 100, "% of a core", "",
               "the line above - minimal exe writing the same blocks");
        if (n == 0) {
            figure(group, "program: working set", mb(zero.workingSetBytes), "MB", "", setHow);
            figure(group, "program over minimal exe: working set", mb(zero.workingSetBytes - idleSet), "MB", "< 2",
                   "program at 0 sources - minimal exe idle, both started the same way");
            figure(group, "program over minimal exe with the same DLLs: working set",
                   mb(zero.workingSetBytes - librariesSet), "MB", "", "program at 0 sources - minimal exe --libraries");
            figure(group, "the same less its two extra threads", mb(zero.workingSetBytes - librariesSet - 2 * perThread),
                   "MB", "", "the line above - 2 x working set per idle thread (standard-input watch, rescan)");
            figure(group, "program: private bytes", mb(exe.privateBytes), "MB", "", "PagefileUsage");
        } else {
            const double perSource = (exe.workingSetBytes - zero.workingSetBytes) / n;
            figure(group, "program: working set", mb(exe.workingSetBytes), "MB", "",
                   "WorkingSetSize at the end of the window");
            figure(group, "working set per source", perSource / 1024.0, "KB", "",
                   "(program at " + std::to_string(n) + " - program at 0) / " + std::to_string(n) +
                       "; includes the fake's delivery thread, started with the first source");
            if (previousCount > 0) {
                const double perAdded = (exe.workingSetBytes - previousSet) / (n - previousCount);
                figure(group, "working set per added source", perAdded / 1024.0, "KB", "",
                       "(program at " + std::to_string(n) + " - at " + std::to_string(previousCount) + ") / " +
                           std::to_string(n - previousCount));
                figure(group, "working set per added source beyond its thread", (perAdded - perThread) / 1024.0,
                       "KB", "< 300", "the line above - working set per idle thread");
            }
            previousCount = n;
            previousSet = exe.workingSetBytes;
            figure(group, "program: threads / handles", exe.threads, "", "",
                   "Tool Help thread count (handles: " + std::to_string(exe.handles) + ")");
        }
    }
    return true;
}

bool startupRun(int runs) {
    FakeAudioSession session;
    if (!session.ready()) return false;
    std::vector<double> minimal, program;
    for (int i = 0; i < runs; ++i) {
        for (bool isProgram : {false, true}) {
            const Ticks before = now();
            auto started = isProgram ? session.start(programPath(), {L"--all-except", L"0"})
                                     : session.start(minimalPath(), {});
            if (!started->waitForReady(readyBoundMs)) return false;
            (isProgram ? program : minimal).push_back(secondsBetween(before, started->readyTime()) * 1000);
            started->startReading();
            started->closeInput();
            started->waitForExit(exitBoundMs);
            started->closeOutput();
        }
    }
    const std::string how = "CreateProcessW to \"ready\\n\" read from the pipe, median of " + std::to_string(runs) +
                            " starts, alternated";
    const double m = quantile(minimal, 0.5), p = quantile(program, 0.5);
    figure("start-up", "minimal exe: start to first stderr line", m, "ms", "", how);
    figure("start-up", "program at 0 sources: start to ready", p, "ms", "", how + "; fake platform loaded");
    figure("start-up", "program / minimal", p / m, "x", "", "ratio of the two medians");
    return true;
}

}  // namespace measure
