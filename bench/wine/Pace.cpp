#include "Pace.h"

#include <algorithm>

namespace measure {
namespace {

constexpr double blocksPerSecond = 100.0;

std::size_t mostOnTime(const std::vector<double>& arrivals, std::size_t first, std::size_t end) {
    end = std::min(end, arrivals.size());
    std::size_t best = first;
    for (std::size_t i = first; i < end; ++i) {
        if (arrivals[i] - i / blocksPerSecond < arrivals[best] - best / blocksPerSecond) {
            best = i;
        }
    }
    return best;
}

}  // namespace

PaceFigures measurePace(const std::vector<double>& arrivals, std::size_t earlyFirst, std::size_t earlyEnd,
                        std::size_t lateFirst, std::size_t lateEnd) {
    PaceFigures figures;
    if (earlyFirst >= std::min(earlyEnd, arrivals.size()) || lateFirst >= std::min(lateEnd, arrivals.size())) {
        return figures;
    }
    figures.fromBlock = mostOnTime(arrivals, earlyFirst, earlyEnd);
    figures.toBlock = mostOnTime(arrivals, lateFirst, lateEnd);
    figures.secondsElapsed = arrivals[figures.toBlock] - arrivals[figures.fromBlock];
    figures.driftBlocks = static_cast<double>(figures.toBlock) - static_cast<double>(figures.fromBlock) -
                          figures.secondsElapsed * blocksPerSecond;
    return figures;
}

Gap longestGap(const std::vector<double>& arrivals) {
    Gap gap;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        if (arrivals[i] - arrivals[i - 1] > gap.seconds) {
            gap = {i, arrivals[i] - arrivals[i - 1]};
        }
    }
    return gap;
}

}  // namespace measure
