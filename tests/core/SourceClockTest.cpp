// The mixer's whole loop (runMixer) on a simulated counter, against a source
// whose card runs on a clock of its own and whose packets come late: the
// cushion, and rate matching locking the card to the block clock. Every
// sample carries its frame's place in the card's stream (left = place /
// 2^15, right = minus that), so each block shows what it got, what it
// missed and whether anything was skipped or repeated.

#include "app/MixerLoop.h"
#include "capture/PacketConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>

namespace {

constexpr std::int64_t countsPerMs = 10'000;
constexpr std::uint64_t marksWrap = 20'000;  // frames; the marks run 1 .. 20000 and again

struct ClockRun {
    double ppm = 0, lateMs = 3;        // the card's rate; each packet comes 0 .. lateMs late
    bool coarseTimer = false, rateMatch = false;
    double seconds = 30, checkFrom = 10;  // blocks are judged from then on, the lock from 10 s at the earliest
    double pauseFrom = -1, pauseTo = -1;  // no packets come in between
    double replaceAt = -1;              // the source is removed and a new one takes its place
};

struct Source {
    std::mutex lock;
    SampleFifo fifo;
};

// A 10 MHz counter that moves while the mixer sleeps: to the next 15.625 ms
// tick with the coarse timer (Windows' default), else up to 1 ms late; and
// hands the source every packet that has come by then. It judges each
// block as the output, and keeps the 
struct Simulation {
    explicit Simulation(const ClockRun& run) : run(run), random(20261208) { replace(); }

    std::int64_t frequency() const { return 1000 * countsPerMs; }
    std::int64_t now() const { return time; }
    void sleep(std::int64_t ms) {
        time += ms * countsPerMs;
        time = run.coarseTimer ? (time + 156'249) / 156'250 * 156'250
                               : time + std::int64_t(std::uniform_real_distribution<>(0, countsPerMs)(random));
        while (arrival <= time) {
            std::vector<float> packet(960);
            for (std::size_t i = 0; i < 480; ++i, ++frame) {
                packet[2 * i] = float(frame % marksWrap + 1) / 32768.0f;
                packet[2 * i + 1] = -packet[2 * i];
            }
            const double at = double(arrival) / frequency();
            if (!(at >= run.pauseFrom && at < run.pauseTo)) {
                std::lock_guard<std::mutex> held(source->lock);
                appendFloatSamples(source->fifo, packet.data(), packet.size());
            }
            ++packets;
            const double due = 3.7 + 10.0 * double(packets + 1) / (1.0 + run.ppm * 1e-6);
            const double late = std::uniform_real_distribution<>(0, run.lateMs)(random);
            arrival = std::max(arrival, std::int64_t((due + late) * countsPerMs));
        }
    }

    bool write(const MixBuffer& block) {
        const double at = double(blocks++) / 100.0;
        if (run.replaceAt >= 0 && at >= run.replaceAt) {
            run.replaceAt = -1;
            replace();
        }
        std::size_t given = block.size();
        while (given > 0 && block[given - 1] == 0.0f) {
            given -= 2;
        }
        const bool judged = at >= run.checkFrom && !(at >= run.pauseFrom && at < run.pauseTo + 0.5);
        for (std::size_t i = 0; i < given; i += 2) {
            const double mark = double(block[i]) * 32768.0;
            // Consecutive marks differ by the step (1 +- 1 %); a frame skipped
            // or repeated makes it about 2 or 0. Not across the marks' return.
            const bool steady = mark > 50 && last > 50 && mark < marksWrap - 50 && last < marksWrap - 50;
            jumps += judged && steady && std::abs(mark - last - 1.0) > 0.5;
            last = mark;
        }
        std::lock_guard<std::mutex> held(source->lock);
        const FifoReader& reader = source->fifo.reader;
        const double step = reader.steering.lastStep();
        mostOffset = std::max(mostOffset, std::abs(step - 1.0));
        if (judged) {
            gaps += given < samplesPerBlock;
            if (run.rateMatch && at >= 10) {
                worstStepOff = std::max(worstStepOff, std::abs(step - 1.0 - run.ppm * 1e-6));
                // The fill as seen before this block, averaged over each 10 s.
                // It is seen in whole packets, and the packets' phase against
                // the blocks turns once in 10 ms / (card's offset), 10 s at
                // 1000 ppm: a shorter span sees part of that sawtooth.
                fillSum += heldAhead(source->fifo) + samplesPerBlock - rateMatchTarget(reader.cushion);
                if (++fillBlocks == 1000) {
                    fillOff += std::abs(fillSum / 1000) > 480;  // 5 ms
                    fillSum = fillBlocks = 0;
                }
            }
        }
        return at < run.seconds;
    }

    void replace() {
        std::lock_guard<std::mutex> held(mapLock);
        sources.erase(4);
        source = (sources[4] = std::make_unique<Source>()).get();
    }

    ClockRun run;
    std::mt19937_64 random;
    std::int64_t time = 0, arrival = 137'000;
    std::uint64_t packets = 0, frame = 0;
    std::mutex mapLock;
    std::map<std::uint32_t, std::unique_ptr<Source>> sources;
    Source* source = nullptr;
    double last = 0, fillSum = 0;
    int fillBlocks = 0;
    int gaps = 0, jumps = 0, blocks = 0, fillOff = 0;
    double worstStepOff = 0, mostOffset = 0;
};

}  // namespace

TEST(SourceClock, NoBlockMissedOrFrameSkippedAndRateMatchLocksWithinSeconds) {
    const ClockRun cases[] = {
        // Packets up to 10 ms late, under either timer, miss no block after start-up.
        {.lateMs = 10, .seconds = 60, .checkFrom = 0.1},
        {.lateMs = 10, .coarseTimer = true, .seconds = 60, .checkFrom = 0.1},
        {.lateMs = 10, .rateMatch = true, .seconds = 60, .checkFrom = 0.1},
        {.lateMs = 10, .coarseTimer = true, .rateMatch = true, .seconds = 60, .checkFrom = 0.1},
        {.ppm = 1000, .rateMatch = true},
        {.ppm = -1000, .rateMatch = true},
        {.ppm = 5000, .rateMatch = true},
        {.ppm = -5000, .rateMatch = true},
        {.ppm = -5000, .coarseTimer = true, .rateMatch = true},
        {.ppm = 3000, .rateMatch = true, .pauseFrom = 15, .pauseTo = 17},  // resumes as it was
        {.ppm = -3000, .rateMatch = true, .checkFrom = 13, .replaceAt = 3},  // a new source locks anew
    };
    for (const ClockRun& run : cases) {
        SCOPED_TRACE("row " + std::to_string(&run - cases));
        Simulation sim(run);
        runMixer(sim, sim, sim.mapLock, sim.sources, MixerOptions{run.rateMatch});
        EXPECT_EQ(sim.gaps, 0);
        EXPECT_EQ(sim.jumps, 0);
        EXPECT_EQ(sim.fillOff, 0) << "10 s spans with the mean fill more than 5 ms off the target";
        // A packet's rounding of the fill moves the step by up to about
        // 1500 ppm; a wound-up loop would stand at its 1 % bound.
        EXPECT_LE(sim.worstStepOff, 2000e-6) << "the step strayed from the card's rate after lock";
        EXPECT_LE(sim.mostOffset, RateSteering::mostOffset);
    }
}
