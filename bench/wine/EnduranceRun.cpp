// The shipped exe over a long run in which players start and stop every few
// hundred milliseconds, so that nearly every rescan opens and closes sources.
// Seen from outside: its threads, handles and working set when idle again
// beside those it had when idle before the churn; the fake platform's
// accounting once it has ended; and the stream's pace throughout.

#include "EnduranceRun.h"

#include "FakeAudioSession.h"
#include "Figure.h"
#include "Pace.h"
#include "ProcessProbe.h"
#include "StreamFigures.h"

#include <cstdio>

namespace measure {
namespace {

constexpr DWORD churnTickMs = 300;
// A player lives for about this many ticks (plus its own start-up), long
// enough to straddle a rescan now and then, short enough that most rescans
// find one new and one gone.
constexpr std::size_t playersAlive = 6;
constexpr double idleSeconds = 4;
constexpr std::size_t paceStretch = 100;

void printPlateau(const char* what, const Plateau& p) {
    std::printf("[ figure ] %s: %.0f handles, %.0f threads, %.2f MB working set (%zu samples)\n", what, p.handles,
                p.threads, p.workingSetBytes / 1048576.0, p.samples);
}

}  // namespace

bool enduranceRun(double seconds) {
    FakeAudioSession session;
    if (!session.ready()) return false;
    auto program = session.start(programPath(), {L"--all-except", L"0"});
    if (!program->waitForReady(readyBoundMs)) return false;
    program->startReading();
    ProcessProbe probe(program->processId());
    if (!probe.open()) return false;
    const Ticks origin = now();
    std::vector<ResourceSample> samples;
    auto sampleFor = [&](double forSeconds) {
        for (const Ticks until = now() + static_cast<Ticks>(forSeconds * ticksPerSecond()); now() < until; Sleep(250)) {
            samples.push_back(probe.sample(secondsBetween(origin, now())));
        }
    };

    // One opening and closing before the baseline, so that what the first
    // source makes once and keeps (the fake's delivery thread, pools of
    // Wine's COM) is already there when idle is first measured.
    session.startPlayer(300, 2048);
    if (!session.waitForRunningClients(1, 15000)) note("the first player was never opened");
    session.stopAllPlayers();
    if (!session.waitForRunningClients(0, 15000)) note("the first player was never closed");
    const double idleBeforeFrom = secondsBetween(origin, now());
    sampleFor(idleSeconds);
    const double idleBeforeTo = secondsBetween(origin, now());
    const fake::Accounting beforeChurn = session.control().counts;

    const Ticks churnStart = now();
    for (long frequency = 300; secondsBetween(churnStart, now()) < seconds; Sleep(churnTickMs)) {
        session.startPlayer(frequency, 2048);
        frequency = frequency >= 3000 ? 300 : frequency + 53;
        if (session.playerCount() > playersAlive) session.stopOldestPlayer();
        samples.push_back(probe.sample(secondsBetween(origin, now())));
    }
    const double churnEnd = secondsBetween(origin, now());
    session.stopAllPlayers();
    if (!session.waitForRunningClients(0, 20000)) note("sources of ended players stayed open");
    const fake::Accounting afterChurn = session.control().counts;
    const double idleAfterFrom = secondsBetween(origin, now());
    sampleFor(idleSeconds);
    const double idleAfterTo = secondsBetween(origin, now());
    const std::size_t blocksAtEnd = program->blockCount();
    const Ticks endAt = now();

    // Closing standard output makes the program tear down (it waits out a
    // scan in progress first), so every object must be given back.
    program->closeOutput();
    const long exitCode = program->waitForExit(exitBoundMs);

    std::printf("[ figure ] %.0f s of churn: %ld sources opened, %ld closed\n", churnEnd - idleBeforeTo,
                afterChurn.starts - beforeChurn.starts, afterChurn.stops - beforeChurn.stops);
    const Plateau before = plateauOf(samples, idleBeforeFrom, idleBeforeTo);
    const Plateau after = plateauOf(samples, idleAfterFrom, idleAfterTo);
    printPlateau("idle before the churn", before);
    printPlateau("idle after the churn", after);
    const Growth growth = growthBetween(before, after);
    std::printf("[ figure ] growth from idle to idle: %+.0f threads, %+.0f handles, %+.2f MB working set\n",
                growth.threads, growth.handles, growth.workingSetBytes / 1048576.0);
    // Over the second half only: the first climbs from no source to several.
    std::printf("[ figure ] working-set trend over the second half of the churn: %+.0f KB per minute\n",
                workingSetSlopePerMinute(samples, (idleBeforeTo + churnEnd) / 2, churnEnd) / 1024.0);

    const fake::Accounting& counts = session.control().counts;
    const bool balanced = counts.objects == 0 && counts.clients == 0 && counts.running == 0 && counts.misuses == 0;
    std::printf("[ figure ] after the exe ended (exit code %ld): fake's accounting %s (objects %ld, clients %ld, "
                "running %ld, misuse %ld)\n",
                exitCode, balanced ? "balanced" : "NOT balanced", counts.objects, counts.clients, counts.running,
                counts.misuses);

    std::vector<double> arrivals;
    for (Ticks t : program->arrivals()) arrivals.push_back(secondsBetween(origin, t));
    if (arrivals.size() < blocksAtEnd || blocksAtEnd < 2 * paceStretch) return false;
    arrivals.resize(blocksAtEnd);
    const BlockCount count = blockCountAt(arrivals, secondsBetween(origin, endAt));
    const Lateness late = latenessOf(arrivals);
    std::printf("[ figure ] %zu blocks over %.1f s: %+.1f against elapsed time; lateness median %.1f ms, "
                "p99 %.1f ms, max %.1f ms\n",
                count.received, count.elapsedSeconds, count.difference, late.medianMs, late.p99Ms, late.maxMs);
    const PaceFigures pace = measurePace(arrivals, 0, paceStretch, blocksAtEnd - paceStretch, blocksAtEnd);
    std::printf("[ figure ] drift between on-time blocks %.1f s apart: %+.2f blocks\n", pace.secondsElapsed,
                pace.driftBlocks);
    return true;
}

}  // namespace measure
