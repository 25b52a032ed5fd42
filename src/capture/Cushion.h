#pragma once
// The cushion that keeps a source's part of the mix whole while its packets
// come late: a source is heard only once its FIFO holds a block plus the
// cushion, and after a block it could not fill it is silent again until it
// has the cushion back. So a late packet finds samples waiting instead of
// leaving the end of a block without the source.
//
// The cushion starts at 20 ms: packets that come up to 10 ms late, and a
// mixer whose sleeps end up to 15.6 ms late (Windows' default timer) and
// then takes two blocks at once, never empty it (see docs/performance.md).
// A source that runs short all the same and comes back within 100 ms (a
// late packet, not a pause) gets 5 ms more, up to 40 ms; a source that
// pauses and resumes keeps what it had.
//
// A source whose FIFO holds less than the cushion and gets nothing more for
// 50 ms is heard all the same: a sound shorter than the cushion, with no
// stream behind it, is not lost.
//
// OS-free. Threads: the mixer only, with the source's lock held (it is kept
// beside the source's SampleFifo; see FifoReader.h).

#include <algorithm>
#include <cstddef>

inline constexpr std::size_t cushionStartSamples = 1920;  // 20 ms
inline constexpr std::size_t cushionStepSamples = 480;    // 5 ms
inline constexpr std::size_t cushionMostSamples = 3840;   // 40 ms
inline constexpr int cushionLateReturnBlocks = 10;        // a refill within 100 ms follows a late packet
inline constexpr int cushionStalledBlocks = 5;            // 50 ms without a new sample

class Cushion {
public:
    // Whether the source is mixed at this block, given the samples it holds
    // now (`held`) and the block size. Called once per block, before taking.
    bool admits(std::size_t held, std::size_t blockSamples) {
        if (playing) {
            return true;
        }
        if (++waitedBlocks > cushionLateReturnBlocks) {
            cushion -= grownBy;  // a pause, not a late packet
            grownBy = 0;
        }
        stalledBlocks = held > 0 && held == lastHeld ? stalledBlocks + 1 : 0;
        lastHeld = held;
        playing = held >= blockSamples + cushion || stalledBlocks >= cushionStalledBlocks;
        return playing;
    }

    // After the block: a source that gave less than a whole block waits for
    // the cushion again.
    void gave(std::size_t samples, std::size_t blockSamples) {
        if (samples < blockSamples) {
            playing = false;
            grownBy = std::min(cushion + cushionStepSamples, cushionMostSamples) - cushion;
            cushion += grownBy;
            waitedBlocks = 0;
            lastHeld = 0;
            stalledBlocks = 0;
        }
    }

    std::size_t samples() const { return cushion; }
    bool mixing() const { return playing; }

private:
    std::size_t cushion = cushionStartSamples;
    bool playing = false;
    std::size_t grownBy = 0;    // what the last shortfall added, taken back if it was a pause
    int waitedBlocks = 0;       // blocks waited since the last shortfall
    std::size_t lastHeld = 0;   // what the FIFO held at the last block while waiting
    int stalledBlocks = 0;      // blocks in a row it held that same, non-zero count
};
