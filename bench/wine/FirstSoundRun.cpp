#include "FirstSoundRun.h"

#include "FakeAudioSession.h"
#include "Figure.h"
#include "MeasuredProgram.h"

#include <algorithm>
#include <cstdio>

namespace measure {
namespace {

constexpr DWORD heardBoundMs = 5000;

// Ms from `publishedMs` to the first block from `from` on that arrived at
// or after it and holds sound; -1 when none came within the bound.
double heardAfter(const MeasuredProgram& program, std::size_t from, LONG publishedMs) {
    const double perMs = ticksPerSecond() / 1000;
    for (const ULONGLONG deadline = GetTickCount64() + heardBoundMs; GetTickCount64() < deadline; Sleep(5)) {
        const std::vector<Ticks> arrivals = program.arrivals();
        const std::vector<bool> sounding = program.soundingBlocks();
        for (std::size_t block = from; block < sounding.size(); ++block) {
            const double arrivalMs = static_cast<double>(arrivals[block]) / perMs;
            if (sounding[block] && arrivalMs >= publishedMs) return arrivalMs - publishedMs;
        }
    }
    return -1;
}

}  // namespace

bool firstSoundRun(int runs, const std::wstring& exe) {
    FakeAudioSession session;
    if (!session.ready()) return false;
    auto program = session.start(exe.empty() ? programPath() : exe, {L"--all-except", L"0"});
    if (!program->waitForReady(readyBoundMs)) {
        note("the program did not report ready: " + program->standardError());
        return false;
    }
    program->startReading();
    if (!program->waitForBlocks(1, 10000)) return false;

    std::vector<double> ms;
    std::string seen;
    for (int run = 0; run < runs; ++run) {
        // Pauses that do not divide the 2 s period, so that the starts fall
        // at every phase of it.
        Sleep(300 + static_cast<DWORD>(run) * 737 % 1700);
        const std::size_t from = program->blockCount();
        const DWORD pid = session.startPlayer(440, 8192);
        const fake::Slot* slot = pid ? fake::findSlot(session.control(), pid) : nullptr;
        if (!slot) return false;
        ms.push_back(heardAfter(*program, from, slot->publishedMs));
        char one[16];
        std::snprintf(one, sizeof one, " %.0f", ms.back());
        seen += one;
        // Ended before the next: its client then delivers silence.
        session.stopOldestPlayer();
    }
    program->closeInput();
    program->waitForExit(exitBoundMs);
    program->closeOutput();

    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const std::string group = "a new app's first sound to the stream";
    const std::string how = "player's session published to the first block holding sound, at the parent; " +
                            std::to_string(runs) + " starts (-1: not within 5 s):" + seen;
    figure(group, "median", sorted[sorted.size() / 2], "ms", "< 100", how);
    figure(group, "maximum", sorted.back(), "ms", "", how);
    figure(group, "not heard within 5 s", static_cast<double>(std::count(ms.begin(), ms.end(), -1.0)), "starts", "0",
           how);
    return true;
}

}  // namespace measure
