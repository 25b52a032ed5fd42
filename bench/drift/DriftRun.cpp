#include "DriftRun.h"

#include "DriftingSource.h"
#include "SimulatedCounter.h"

#include "app/MixerLoop.h"

#include <algorithm>
#include <cmath>
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
// the figures. The source is the only one and never sends a 0, so the
// block's positions after its last non-zero value are what the source did
// not give.
class MeasuringOutput {
public:
    MeasuringOutput(DriftingSource& source, const SimulatedCounter& clock, bool rateMatch, std::int64_t blocks,
                    DriftFigures& figures)
        : source(source), clock(clock), rateMatch(rateMatch), blocks(blocks), figures(figures) {}

    bool write(const MixBuffer& block) {
        const std::int64_t k = figures.blocks++;
        const std::int64_t due = blockDue(0, k, clock.frequency());
        figures.latestBlockMs = std::max(figures.latestBlockMs, double(clock.now() - due) * 1e3 / double(clock.frequency()));
        figures.lastBlockSeconds = double(clock.now()) / double(clock.frequency());

        std::size_t given = block.size();
        while (given > 0 && block[given - 1] == 0.0f) {
            --given;
        }
        for (std::size_t i = 0; i < given; i += rateMatch ? 2 : 1) {
            rateMatch ? followResampled(block[i]) : followStream(block[i]);
        }
        double left;
        {
            std::lock_guard<std::mutex> held(source.lock);
            left = heldAhead(source.fifo);
            figures.cushionMs = double(source.fifo.reader.cushion.samples()) / samplesPerMs;
            figures.targetMs = rateMatch ? rateMatchTarget(source.fifo.reader.cushion) / samplesPerMs : -1.0;
            figures.learntPpm = source.fifo.reader.steering.learntOffset() * 1e6;
            if (rateMatch && k >= blocksPerMinute) {
                const double offset = (source.fifo.reader.steering.lastStep() - 1.0) * 1e6 - figures.ppm;
                figures.stepLowPpm = k == blocksPerMinute ? offset : std::min(figures.stepLowPpm, offset);
                figures.stepHighPpm = k == blocksPerMinute ? offset : std::max(figures.stepHighPpm, offset);
            }
        }
        heard = heard || given > 0;
        if (heard && given < samplesPerBlock) {
            ++figures.gapBlocks;
            figures.gapBlocksAfterFirstMinute += k >= blocksPerMinute;
            figures.missingSamples += std::int64_t(samplesPerBlock - given);
            lastPosition = -1;
        }
        if (heard) {
            // As seen before the gather: what is left and the block taken.
            recordFill(k, (left + double(samplesPerBlock)) / samplesPerMs);
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

    // Resampled, a left sample is the marks' ramp (2 per frame) read at a
    // fractional position, so consecutive frames differ by twice the step,
    // 2 +- 2 % while the step stays in its bounds; a frame dropped or
    // repeated makes it 4 or 0. The window's ringing around the ramp's
    // return from 32767 to 1 is left out.
    void followResampled(float value) {
        const double mark = double(value) * 32768.0;
        if (mark < 100.0 || mark > 32667.0) {
            lastPosition = -1;
            return;
        }
        if (lastPosition >= 0 && std::abs(mark - lastPosition - 2.0) > 1.0) {
            ++figures.jumpsInStream;
        }
        lastPosition = mark;
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
    const bool rateMatch;
    const std::int64_t blocks;
    DriftFigures& figures;
    int lastMark = 0;
    double lastPosition = -1;
    bool heard = false;
    std::array<double, 3> markSums{};
};

}  // namespace

DriftFigures runDrift(const DriftSetup& setup) {
    DriftFigures figures;
    figures.setup = setup;
    figures.ppm = setup.ppm;
    figures.fillAtMarkMs.fill(-1.0);

    std::mutex sourceMapLock;
    std::map<std::uint32_t, std::unique_ptr<DriftingSource>> sources;
    auto& source = *(sources[4] = std::make_unique<DriftingSource>(
                         SourceTiming{setup.ppm, SimulatedCounter::countsPerSecond, firstPacketStart, sourceSeed}));
    SimulatedCounter clock(source, mixerSeed, setup.coarseTimer);
    MeasuringOutput output(source, clock, setup.rateMatch, setup.seconds * blocksPerSecond, figures);
    runMixer(clock, output, sourceMapLock, sources, MixerOptions{setup.rateMatch});

    figures.droppedSamples = source.droppedSamples;
    figures.dropEvents = source.dropEvents;
    figures.firstDropSeconds = source.dropEvents > 0 ? double(source.firstDropAt) / double(clock.frequency()) : -1.0;
    return figures;
}
