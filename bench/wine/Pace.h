#pragma once
// Judging the stream's pace from the parent's side without trusting any one
// arrival time. The program never writes block i before i x 10 ms after its
// start, but on a busy machine any single block may arrive late, and after a
// stall the owed blocks come back to back. So the block that arrived most
// nearly on time in a stretch of the stream (least arrival - i x 10 ms) marks
// where the program's schedule really stood; comparing two such marks far
// apart gives the blocks written against the time elapsed, free of jitter.
// OS-free; plain functions.

#include <cstddef>
#include <vector>

namespace measure {

struct PaceFigures {
    std::size_t fromBlock = 0;  // the on-time block of the early stretch
    std::size_t toBlock = 0;    // the on-time block of the late stretch
    double secondsElapsed = 0;  // between their arrivals
    // Blocks written minus elapsed seconds x 100: negative when blocks were
    // skipped or the pace was slow, positive when extra blocks came.
    double driftBlocks = 0;
};

// `arrivals` in seconds, one per block; stretches [earlyFirst, earlyEnd) and
// [lateFirst, lateEnd) of block indices.
PaceFigures measurePace(const std::vector<double>& arrivals, std::size_t earlyFirst, std::size_t earlyEnd,
                        std::size_t lateFirst, std::size_t lateEnd);

struct Gap {
    std::size_t beforeBlock = 0;  // the block that ended the gap
    double seconds = 0;
};

// The longest wait between two consecutive arrivals.
Gap longestGap(const std::vector<double>& arrivals);

}  // namespace measure
