#pragma once
// One simulated run of the program's mixer against one source whose sound
// card's clock runs `ppm` parts per million fast (or, negative, slow) against
// the block clock: the real runMixer, gather, cushion, rate matching, FIFO
// and packet conversion on a simulated counter (SimulatedCounter,
// DriftingSource), and what the blocks it writes show.
//
// Threads: the calling thread only.

#include <array>
#include <cstdint>

struct DriftSetup {
    double ppm = 0;
    std::int64_t seconds = 3600;
    bool rateMatch = false;    // the program's --rate-match
    bool coarseTimer = false;  // the mixer's sleeps end on a 15.625 ms tick, as on Windows by default
};

struct DriftFigures {
    DriftSetup setup;
    double ppm = 0;
    std::int64_t blocks = 0;               // blocks written
    double lastBlockSeconds = 0;           // the counter when the last one went out
    double latestBlockMs = 0;              // the latest any block went out behind its due time

    // Once the source has first been heard: blocks it filled only in part,
    // how many of them after the first minute, and the samples missing from
    // them (silence the stream got in the source's place).
    std::int64_t gapBlocks = 0;
    std::int64_t gapBlocksAfterFirstMinute = 0;
    std::int64_t missingSamples = 0;

    // Samples the FIFO's cap dropped and the appends that dropped any, as the
    // FIFO reported them; and the same losses as the stream shows them (jumps
    // in the samples' positions from one written sample to the next).
    std::uint64_t droppedSamples = 0;
    std::uint64_t dropEvents = 0;
    std::uint64_t droppedInStream = 0;
    std::uint64_t jumpsInStream = 0;
    double firstDropSeconds = -1;          // when the cap first dropped; negative if never

    // The FIFO's fill in ms when a block is gathered: the mean over the 10 s
    // before each mark (negative when the run is shorter), and the most.
    static constexpr std::array<std::int64_t, 3> markMinutes{1, 10, 60};
    std::array<double, 3> fillAtMarkMs{};
    double maxFillMs = 0;

    // With rate matching: the fill the loop steers to (in the same terms as
    // the fill above), the step's offset it had learnt at the end and the
    // widest offset after the first minute, in ppm; frames whose position in
    // the card's stream did not follow on from the one before (a drop or a
    // repeat) are counted in jumpsInStream.
    double targetMs = -1;
    double learntPpm = 0;
    double stepLowPpm = 0, stepHighPpm = 0;  // the step's range after the first minute, less the card's rate
    double cushionMs = 0;  // the source's cushion at the end
};

// Simulates `setup.seconds` of the block clock; the same seeds for every
// rate, so rates differ in their drift alone.
DriftFigures runDrift(const DriftSetup& setup);
