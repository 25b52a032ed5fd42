#include "DriftRun.h"

#include "DriftingSource.h"
#include "SimulatedCounter.h"

#include "app/MixerLoop.h"

#include <algorithm>
#include <map>
#include <memory>

namespace {

constexpr std::uint64_t sourceSeed = 20261207;
constexpr std::uint64_t mixerSeed = 7122026;
constexpr std::int64_t blocksPerMinute = 60 * blocksPerSecond;
constexpr std::int64_t markWindowBlocks = 10 * blocksPerSecond;
constexpr double samplesPerMs = 96.0;

// Where the card's first packet starts against block 0: a fixed phase, 3.7 ms
// in, so that every rate starts alike.
constexpr std::int64_t firstPacketStart = 37'000;

// The mixer's output: reads each block as the parent would get it and keeps
// the figures. Positions 0 .. n-1 of a block hold the source's samples and
// the rest is silence (the source is the only one), so n is how many the
// source gave.
class MeasuringOutput {
public:
    MeasuringOutput(DriftingSource& source, const SimulatedCounter& clock, std::int64_t blocks, DriftFigures& figures)
        : source(source), clock(clock), blocks(blocks), figures(figures) {}

    bool write(const MixBuffer& block) {
        const std::int64_t k = figures.blocks++;
        const std::int64_t due = blockDue(0, k, clock.frequency());
        figures.latestBlockMs = std::max(figures.latestBlockMs, double(clock.now() - due) * 1e3 / double(clock.frequency()));
        figures.lastBlockSeconds = double(clock.now()) / double(clock.frequency());

        std::size_t given = 0;
        while (given < block.size() && block[given] != 0.0f) {
            followStream(block[given++]);
        }
        std::size_t left;
        {
            std::lock_guard<std::mutex> held(source.lock);
            left = source.fifo.size();
        }
        if (source.running() && given < samplesPerBlock) {
            ++figures.gapBlocks;
            figures.gapBlocksAfterFirstMinute += k >= blocksPerMinute;
            figures.missingSamples += std::int64_t(samplesPerBlock - given);
        }
        if (source.running()) {
            recordFill(k, double(left + given) / samplesPerMs);
        }
        return k + 1 < blocks;
    }

private:
    // The mark a written sample carries, against the one that should follow
    // the last: the difference is what was lost between them. Marks run 1 ..
    // 32767 and then from 1 again (sampleMark).
    void followStream(float value) {
        const int mark = static_cast<int>(value * 32768.0f);  // exact: value is mark x 2^-15
        const int expected = lastMark % 32767 + 1;
        if (mark != expected) {
            figures.droppedInStream += static_cast<std::uint64_t>((mark - expected + 32767) % 32767);
            ++figures.jumpsInStream;
        }
        lastMark = mark;
    }

    void recordFill(std::int64_t k, double fillMs) {
        figures.maxFillMs = std::max(figures.maxFillMs, fillMs);
        for (std::size_t m = 0; m < DriftFigures::markMinutes.size(); ++m) {
            const std::int64_t mark = DriftFigures::markMinutes[m] * blocksPerMinute;
            if (k >= mark - markWindowBlocks && k < mark) {
                markSums[m] += fillMs;
                if (k == mark - 1) {
                    figures.fillAtMarkMs[m] = markSums[m] / double(markWindowBlocks);
                }
            }
        }
    }

    DriftingSource& source;
    const SimulatedCounter& clock;
    const std::int64_t blocks;
    DriftFigures& figures;
    int lastMark = 0;
    std::array<double, 3> markSums{};
};

}  // namespace

DriftFigures runDrift(double ppm, std::int64_t seconds) {
    DriftFigures figures;
    figures.ppm = ppm;
    figures.fillAtMarkMs.fill(-1.0);

    std::mutex sourceMapLock;
    std::map<std::uint32_t, std::unique_ptr<DriftingSource>> sources;
    auto& source = *(sources[4] = std::make_unique<DriftingSource>(
                         SourceTiming{ppm, SimulatedCounter::countsPerSecond, firstPacketStart, sourceSeed}));
    SimulatedCounter clock(source, mixerSeed);
    MeasuringOutput output(source, clock, seconds * blocksPerSecond, figures);
    runMixer(clock, output, sourceMapLock, sources);

    figures.droppedSamples = source.droppedSamples;
    figures.dropEvents = source.dropEvents;
    figures.firstDropSeconds = source.dropEvents > 0 ? double(source.firstDropAt) / double(clock.frequency()) : -1.0;
    return figures;
}
