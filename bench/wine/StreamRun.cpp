#include "StreamRun.h"

#include "FakeAudioSession.h"
#include "Figure.h"
#include "StreamFigures.h"
#include "MeasuredProgram.h"
#include "Pace.h"

#include <algorithm>
#include <cstdio>

namespace measure {
namespace {

// A churning player lives about this long, so a rescan every 2 s always
// finds one that is new and misses one that has gone.
constexpr DWORD churnTickMs = 1000;
constexpr std::size_t churnPlayersAlive = 3;
constexpr std::size_t paceStretch = 100;
constexpr std::size_t lateFrom = 100;

}  // namespace

bool streamRun(double seconds, bool churn) {
    FakeAudioSession session;
    if (!session.ready()) return false;
    const std::string group = churn ? "stream, players start and stop" : "stream, two steady players";
    if (!churn) {
        session.startPlayer(440);
        session.startPlayer(660);
    }
    auto program = session.start(programPath(), {L"--all-except", L"0"});
    if (!program->waitForReady(readyBoundMs)) {
        note("the program did not report ready: " + program->standardError());
        return false;
    }
    program->startReading();
    if (!program->waitForBlocks(1, 10000)) return false;
    const fake::Accounting before = session.control().counts;

    const Ticks first = program->arrivals().front();
    long frequency = 300;
    while (secondsBetween(first, now()) < seconds) {
        if (churn) {
            session.startPlayer(frequency);
            frequency = frequency >= 3000 ? 300 : frequency + 97;
            if (session.playerCount() > churnPlayersAlive) session.stopOldestPlayer();
        }
        Sleep(churnTickMs);
    }
    const Ticks end = now();
    const fake::Accounting after = session.control().counts;
    program->closeInput();
    program->waitForExit(exitBoundMs);
    program->closeOutput();

    std::vector<double> arrivals;
    for (Ticks t : program->arrivals()) arrivals.push_back(secondsBetween(first, t));
    const double at = secondsBetween(first, end);
    const BlockCount count = blockCountAt(arrivals, at);
    const std::string how = "parent reads the pipe; counter time from block 0's arrival over " +
                            std::to_string(static_cast<int>(count.elapsedSeconds)) + " s";
    figure(group, "blocks received - (1 + elapsed x 100)", count.difference, "blocks", "within 1", how);
    if (arrivals.size() > 4 * paceStretch) {
        const std::size_t n = arrivals.size();
        const auto pace = measurePace(arrivals, 0, paceStretch, n - paceStretch, n);
        figure(group, "drift between on-time blocks at start and end", pace.driftBlocks, "blocks", "within 1",
               "blocks written - elapsed x 100 between the most punctual block of the first and of the last " +
                   std::to_string(paceStretch) + " (" + std::to_string(static_cast<int>(pace.secondsElapsed)) +
                   " s apart)");
    }
    // Block 0 and the few after it wait in the pipe until this parent has
    // seen "ready" and started reading: that is the parent's delay, so the
    // lateness figures start one second in.
    const std::vector<double> settled(arrivals.begin() + std::min<std::size_t>(arrivals.size(), lateFrom), arrivals.end());
    const Lateness late = latenessOf(settled);
    const std::string lateHow = "arrival - (origin + k x 10 ms), origin = earliest arrival - k x 10 ms over " +
                                std::to_string(late.blocks) + " blocks from block " + std::to_string(lateFrom);
    figure(group, "lateness median", late.medianMs, "ms", "", lateHow);
    figure(group, "lateness p99", late.p99Ms, "ms", "", lateHow);
    figure(group, "lateness max", late.maxMs, "ms", "", lateHow + "; at block " + std::to_string(lateFrom + late.maxAtBlock));
    if (churn) {
        figure(group, "sources opened", after.starts - before.starts, "", "",
               "fake's count of client starts during the run");
        figure(group, "sources closed", after.stops - before.stops, "", "",
               "fake's count of client stops during the run");
    }
    return true;
}

}  // namespace measure
