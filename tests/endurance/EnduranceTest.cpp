// The shipped exe over a long run in which players start and stop every few
// hundred milliseconds, so that nearly every rescan opens and closes sources.
// Judged from outside: its threads, handles and working set when idle again
// are those it had when idle before the churn; the fake platform's accounting
// balances once it has ended; and the stream kept its pace throughout.
//
// 30 s by default; VINTRA_ENDURANCE_SECONDS sets another length (the long
// run is 600 s). The figures are printed as they are seen.

#include "ProcessProbe.h"
#include "StreamFigures.h"
#include "harness/BlackboxTest.h"
#include "harness/Pace.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>

namespace blackbox {
namespace {

using measure::ResourceSample;

constexpr DWORD churnTickMs = 300;
// A player lives for about this many ticks (plus its own start-up), long
// enough to straddle a rescan now and then, short enough that most rescans
// find one new and one gone.
constexpr std::size_t playersAlive = 6;
constexpr double idleSeconds = 4;
constexpr std::size_t paceStretch = 100;

double enduranceSeconds() {
    const char* text = std::getenv("VINTRA_ENDURANCE_SECONDS");
    const double seconds = text ? std::atof(text) : 0;
    return seconds > 0 ? seconds : 30;
}

class Endurance : public BlackboxTest {
protected:
    // Players of the churn, oldest first; kept apart from the fixture's list
    // so that a long run does not pile up thousands of ended players.
    std::deque<std::unique_ptr<player::PlayerProcess>> churning;

    void startChurnPlayer(long frequency) {
        auto started = std::make_unique<player::PlayerProcess>();
        std::lock_guard creating(processCreationLock());
        PlayerSetup setup;
        setup.frequency = frequency;
        setup.level = 2048;
        if (started->start(playerPath(), playerArguments(setup), announceBoundMs)) {
            churning.push_back(std::move(started));
        }
    }

    bool waitForLiveClients(LONG count, DWORD boundMs) {
        const ULONGLONG deadline = GetTickCount64() + boundMs;
        while (liveClients() != count) {
            if (GetTickCount64() > deadline) return false;
            Sleep(50);
        }
        return true;
    }
};

void printPlateau(const char* what, const measure::Plateau& p) {
    std::printf("[ figure ] %s: %.0f handles, %.0f threads, %.2f MB working set (%zu samples)\n", what, p.handles,
                p.threads, p.workingSetBytes / 1048576.0, p.samples);
}

TEST_F(Endurance, ResourcesStayFlatAndThePaceHoldsWhilePlayersComeAndGo) {
    const double seconds = enduranceSeconds();
    auto program = startReadyProgram({L"--all-except", L"0"});
    measure::ProcessProbe probe(program->processId());
    ASSERT_TRUE(probe.open());
    const Ticks origin = now();
    std::vector<ResourceSample> samples;
    auto sampleFor = [&](double forSeconds) {
        const Ticks until = now() + static_cast<Ticks>(forSeconds * ticksPerSecond());
        while (now() < until) {
            samples.push_back(probe.sample(secondsBetween(origin, now())));
            Sleep(250);
        }
    };

    // One opening and closing before the baseline, so that what the first
    // source makes once and keeps (the fake's delivery thread, pools of
    // Wine's COM) is already there when idle is first measured.
    startChurnPlayer(300);
    ASSERT_TRUE(waitForLiveClients(1, 15000)) << "the first player was never opened";
    churning.clear();
    ASSERT_TRUE(waitForLiveClients(0, 15000)) << "the first player was never closed";
    const double idleBeforeFrom = secondsBetween(origin, now());
    sampleFor(idleSeconds);
    const double idleBeforeTo = secondsBetween(origin, now());
    const fake::Accounting beforeChurn = fake::snapshotAccounting(control());

    const Ticks churnStart = now();
    long frequency = 300;
    while (secondsBetween(churnStart, now()) < seconds) {
        startChurnPlayer(frequency);
        frequency = frequency >= 3000 ? 300 : frequency + 53;
        if (churning.size() > playersAlive) churning.pop_front();  // closes its input, waits for its end
        samples.push_back(probe.sample(secondsBetween(origin, now())));
        Sleep(churnTickMs);
    }
    const double churnEnd = secondsBetween(origin, now());
    churning.clear();
    ASSERT_TRUE(waitForLiveClients(0, 20000)) << "sources of ended players stayed open";
    const fake::Accounting afterChurn = fake::snapshotAccounting(control());
    const double idleAfterFrom = secondsBetween(origin, now());
    sampleFor(idleSeconds);
    const double idleAfterTo = secondsBetween(origin, now());
    const std::size_t blocksAtEnd = program->blockCount();
    const Ticks endAt = now();

    // Closing standard output makes the program tear down (it waits out a
    // scan in progress first), so every object must be given back.
    program->closeOutput();
    ASSERT_EQ(program->waitForExit(exitBoundMs), std::optional<DWORD>(0));

    const LONG opened = afterChurn.audioClientStarts - beforeChurn.audioClientStarts;
    const LONG closed = afterChurn.audioClientStops - beforeChurn.audioClientStops;
    std::printf("[ figure ] %.0f s of churn: %ld sources opened, %ld closed\n", churnEnd - idleBeforeTo,
                static_cast<long>(opened), static_cast<long>(closed));
    // About one opening per rescan at the least; 10 over 30 s, 200 over 600 s.
    EXPECT_GE(opened, static_cast<LONG>(seconds / 3)) << "the churn did reach the program";
    EXPECT_GE(closed, static_cast<LONG>(seconds / 3));

    const auto before = measure::plateauOf(samples, idleBeforeFrom, idleBeforeTo);
    const auto after = measure::plateauOf(samples, idleAfterFrom, idleAfterTo);
    printPlateau("idle before the churn", before);
    printPlateau("idle after the churn", after);
    const auto growth = measure::growthBetween(before, after);
    // Over the second half only: the first climbs from no source to several.
    std::printf("[ figure ] working-set trend over the second half of the churn: %+.0f KB per minute\n",
                measure::workingSetSlopePerMinute(samples, (idleBeforeTo + churnEnd) / 2, churnEnd) / 1024.0);
    EXPECT_LE(growth.threads, 0) << "a worker outlived its source";
    // Wine keeps a few handles of its own in flux (pools, timers); a leak of
    // one per source would be in the tens even at 30 s.
    EXPECT_LE(growth.handles, 4) << "handles leaked";
    // The heap may keep some memory after a peak; a leak per source would
    // keep growing with the run.
    EXPECT_LE(growth.workingSetBytes, 4.0 * 1048576 + 0.1 * before.workingSetBytes) << "working set grew";

    const fake::Accounting counts = fake::snapshotAccounting(control());
    EXPECT_EQ(counts.audioClientsCreated, counts.audioClientsDestroyed);
    EXPECT_EQ(counts.audioClientsDestroyedRunning, 0);
    EXPECT_EQ(counts.audioClientStarts, counts.audioClientStops);
    EXPECT_EQ(counts.captureClientsCreated, counts.captureClientsDestroyed);
    EXPECT_EQ(counts.eventsRegistered, counts.eventsClosed);
    EXPECT_EQ(counts.eventsOpenAtExit, 0);
    EXPECT_EQ(counts.operationsCreated, counts.operationsDestroyed);
    EXPECT_EQ(counts.handlerReferencesTaken, counts.handlerReferencesDropped);
    EXPECT_EQ(counts.enumeratorsCreated, counts.enumeratorsDestroyed);
    EXPECT_EQ(counts.sessionEnumeratorsCreated, counts.sessionEnumeratorsDestroyed);
    EXPECT_EQ(counts.sessionControlsCreated, counts.sessionControlsDestroyed);

    std::vector<double> arrivals;
    for (Ticks t : program->arrivals()) arrivals.push_back(secondsBetween(origin, t));
    ASSERT_GE(arrivals.size(), blocksAtEnd);
    arrivals.resize(blocksAtEnd);
    const auto count = measure::blockCountAt(arrivals, secondsBetween(origin, endAt));
    const auto late = measure::latenessOf(arrivals);
    std::printf("[ figure ] %zu blocks over %.1f s: %+.1f against elapsed time; lateness median %.1f ms, "
                "p99 %.1f ms, max %.1f ms\n",
                count.received, count.elapsedSeconds, count.difference, late.medianMs, late.p99Ms, late.maxMs);
    const auto pace = measurePace(arrivals, 0, paceStretch, blocksAtEnd - paceStretch, blocksAtEnd);
    std::printf("[ figure ] drift between on-time blocks %.1f s apart: %+.2f blocks\n", pace.secondsElapsed,
                pace.driftBlocks);
    // The last stretch is idle, so some block in it was on time; a lost or
    // extra block shows as a whole block of drift.
    EXPECT_LE(std::fabs(pace.driftBlocks), 1.5);
}

}  // namespace
}  // namespace blackbox
