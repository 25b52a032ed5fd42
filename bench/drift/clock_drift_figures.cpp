// What a sound card's clock, a little fast or slow against the block clock,
// does to a source's part of the stream over a long run: gaps, the FIFO cap's
// drops and the latency behind the source, for 0, +-20, +-50, +-100 and
// +-1000 ppm, with the cushion alone and with rate matching (and +-5000 ppm
// with it), each with a fine timer and with Windows' 15.6 ms one.
// A simulation of the program's own mixer, FIFO and conversion on a
// simulated counter (DriftRun.h); it prints figures and judges nothing.
//
//   clock-drift-figures [seconds]    simulated time per rate, 3600 by default
//
// Prints a table for a reader and the same figures as `figure|` lines for
// scripts/bench.sh.

#include "DriftRun.h"
#include "Figure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string rateName(double ppm) {
    char text[32];
    std::snprintf(text, sizeof text, ppm == 0 ? "0 ppm" : "%+.0f ppm", ppm);
    return text;
}

std::string modeName(const DriftSetup& setup) {
    return std::string(setup.rateMatch ? "rate-match" : "cushion") + (setup.coarseTimer ? ", 15.6 ms timer" : "");
}

std::string runName(const DriftFigures& f) { return modeName(f.setup) + ", " + rateName(f.ppm); }

// One decimal, or "-" for a figure the run has none of.
std::string decimalText(double value) {
    char text[24];
    if (value < 0) return "-";
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

void printTable(const std::vector<DriftFigures>& runs, std::int64_t seconds) {
    std::printf("clock drift against the block clock, %lld s simulated per rate\n", static_cast<long long>(seconds));
    std::printf("%-36s %10s %10s %8s %9s %6s %11s %8s %8s %8s %8s %7s %7s %6s %9s %17s\n", "mode, rate", "gap blocks",
                "after 1min", "missing", "dropped", "drops", "1st drop s", "fill 1m", "10m", "60m", "max", "target",
                "cushion", "jumps", "learnt", "step-rate, ppm");
    for (const DriftFigures& f : runs) {
        std::printf("%-36s %10lld %10lld %8lld %9llu %6llu %11s %8s %8s %8s %8.1f %7s %7.1f %6llu %9.1f %8.1f %8.1f\n",
                    runName(f).c_str(),
                    static_cast<long long>(f.gapBlocks), static_cast<long long>(f.gapBlocksAfterFirstMinute),
                    static_cast<long long>(f.missingSamples), static_cast<unsigned long long>(f.droppedSamples),
                    static_cast<unsigned long long>(f.dropEvents), decimalText(f.firstDropSeconds).c_str(),
                    decimalText(f.fillAtMarkMs[0]).c_str(), decimalText(f.fillAtMarkMs[1]).c_str(),
                    decimalText(f.fillAtMarkMs[2]).c_str(), f.maxFillMs, decimalText(f.targetMs).c_str(), f.cushionMs,
                    static_cast<unsigned long long>(f.jumpsInStream), f.learntPpm, f.stepLowPpm, f.stepHighPpm);
    }
    std::printf("(gap blocks: blocks the source filled only in part once running, and those after the first\n"
                " minute; missing: the samples of silence in them; dropped, drops: samples the FIFO's cap dropped\n"
                " and the appends that dropped any; 1st drop s: when the first was; fill: the FIFO's fill in ms at\n"
                " the gather, the mean over the 10 s before each mark, and the most; target: the fill rate matching\n"
                " steers to; cushion: the source's at the end; jumps: places where the stream skipped or repeated;\n"
                " learnt: the step's offset from 1 the steering had learnt at the end, ppm)\n");
}

void printFigures(const std::vector<DriftFigures>& runs) {
    const std::string group = "clock drift (simulated, one source)";
    for (const DriftFigures& f : runs) {
        const std::string rate = runName(f) + ": ";
        measure::figure(group, rate + "blocks with a gap", double(f.gapBlocks), "blocks", "",
                        std::to_string(f.gapBlocksAfterFirstMinute) + " after the first minute; " +
                            std::to_string(f.missingSamples) + " samples missing in all");
        measure::figure(group, rate + "audio dropped by the cap", double(f.droppedSamples) / 96.0, "ms", "",
                        std::to_string(f.droppedSamples) + " samples in " + std::to_string(f.dropEvents) +
                            " appends" +
                            (f.dropEvents > 0 ? ", the first at " + decimalText(f.firstDropSeconds) + " s" : ""));
        for (std::size_t m = 0; m < DriftFigures::markMinutes.size(); ++m) {
            if (f.fillAtMarkMs[m] < 0) continue;
            measure::figure(group, rate + "FIFO fill at " + std::to_string(DriftFigures::markMinutes[m]) + " min",
                            f.fillAtMarkMs[m], "ms", "", "mean at the gather over the 10 s before");
        }
        measure::figure(group, rate + "FIFO fill, most", f.maxFillMs, "ms", "", "at the gather, whole run");
        if (f.setup.rateMatch) {
            measure::figure(group, rate + "jumps in the stream", double(f.jumpsInStream), "frames", "0",
                            "resampled positions that skipped or repeated");
            measure::figure(group, rate + "fill target", f.targetMs, "ms", "", "what the steering holds the fill at");
        }
    }
}

// The figures' own cross-checks: the block count follows the counter, and
// the stream shows exactly the losses the FIFO reported. One line per rate,
// and one note for scripts/bench.sh's table that says whether all agreed.
void printChecks(const std::vector<DriftFigures>& runs, std::int64_t seconds, double wallSeconds) {
    std::string disagreeing;
    double latestMs = 0;
    for (const DriftFigures& f : runs) {
        std::printf("%s: block %lld went out at %.3f s of the counter, the latest %.1f ms behind its due time; "
                    "the stream lost %llu samples in %llu jumps, the FIFO reported %llu\n",
                    runName(f).c_str(), static_cast<long long>(f.blocks - 1), f.lastBlockSeconds,
                    f.latestBlockMs, static_cast<unsigned long long>(f.droppedInStream),
                    static_cast<unsigned long long>(f.jumpsInStream),
                    static_cast<unsigned long long>(f.droppedSamples));
        // Resampled, the stream's marks give no sample count to compare.
        if ((!f.setup.rateMatch && f.droppedInStream != f.droppedSamples) || f.blocks != seconds * 100) {
            disagreeing += " [";
            disagreeing += runName(f) + "]";
        }
        latestMs = std::max(latestMs, f.latestBlockMs);
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "clock drift: %zu runs, %lld s simulated each in %.1f s of wall time; %lld blocks each, none more "
                  "than %.1f ms late; the stream's losses %s",
                  runs.size(), static_cast<long long>(seconds), wallSeconds, static_cast<long long>(seconds * 100),
                  latestMs, disagreeing.empty() ? "matched the FIFO's drops in every run without resampling" : "DIFFER from the FIFO's drops at");
    std::string note = text;
    note += disagreeing;
    measure::note(note);
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t seconds = argc > 1 ? std::atoll(argv[1]) : 3600;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: clock-drift-figures [seconds]\n");
        return 2;
    }
    const double rates[] = {-1000, -100, -50, -20, 0, 20, 50, 100, 1000};
    const auto begin = std::chrono::steady_clock::now();
    std::vector<DriftFigures> runs;
    for (bool rateMatch : {false, true}) {
        for (bool coarseTimer : {false, true}) {
            for (double ppm : rates) {
                runs.push_back(runDrift({ppm, seconds, rateMatch, coarseTimer}));
            }
        }
    }
    for (double ppm : {-5000.0, 5000.0}) {
        runs.push_back(runDrift({ppm, seconds, true, false}));
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    printTable(runs, seconds);
    printChecks(runs, seconds, wall);
    printFigures(runs);
    return 0;
}
