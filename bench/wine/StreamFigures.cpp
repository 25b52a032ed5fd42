#include "StreamFigures.h"

#include <algorithm>
#include <cmath>

namespace measure {

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    q = std::clamp(q, 0.0, 1.0);
    // Nearest rank: the smallest value with at least q x n values at or below it.
    std::size_t rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    std::size_t index = rank == 0 ? 0 : rank - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

double scheduleOrigin(const std::vector<double>& arrivals) {
    double origin = arrivals.empty() ? 0 : arrivals[0];
    for (std::size_t k = 0; k < arrivals.size(); ++k) {
        origin = std::min(origin, arrivals[k] - static_cast<double>(k) * blockSeconds);
    }
    return origin;
}

Lateness latenessOf(const std::vector<double>& arrivals) {
    Lateness figures;
    figures.blocks = arrivals.size();
    if (arrivals.empty()) return figures;
    const double origin = scheduleOrigin(arrivals);
    std::vector<double> lateMs(arrivals.size());
    for (std::size_t k = 0; k < arrivals.size(); ++k) {
        lateMs[k] = (arrivals[k] - origin - static_cast<double>(k) * blockSeconds) * 1000.0;
        if (lateMs[k] > figures.maxMs) {
            figures.maxMs = lateMs[k];
            figures.maxAtBlock = k;
        }
    }
    figures.medianMs = quantile(lateMs, 0.5);
    figures.p99Ms = quantile(lateMs, 0.99);
    return figures;
}

BlockCount blockCountAt(const std::vector<double>& arrivals, double atSeconds) {
    BlockCount count;
    if (arrivals.empty()) return count;
    count.received = static_cast<std::size_t>(
        std::upper_bound(arrivals.begin(), arrivals.end(), atSeconds) - arrivals.begin());
    count.elapsedSeconds = atSeconds - scheduleOrigin(arrivals);
    count.expected = 1.0 + std::floor(count.elapsedSeconds / blockSeconds + 1e-9);
    count.difference = static_cast<double>(count.received) - count.expected;
    return count;
}

Plateau plateauOf(const std::vector<ResourceSample>& samples, double fromSeconds, double toSeconds) {
    std::vector<double> handles, threads, workingSet;
    for (const ResourceSample& s : samples) {
        if (s.atSeconds < fromSeconds || s.atSeconds >= toSeconds) continue;
        handles.push_back(s.handles);
        threads.push_back(s.threads);
        workingSet.push_back(static_cast<double>(s.workingSetBytes));
    }
    Plateau plateau;
    plateau.samples = handles.size();
    plateau.handles = quantile(handles, 0.5);
    plateau.threads = quantile(threads, 0.5);
    plateau.workingSetBytes = quantile(workingSet, 0.5);
    return plateau;
}

Growth growthBetween(const Plateau& early, const Plateau& late) {
    return {late.handles - early.handles, late.threads - early.threads, late.workingSetBytes - early.workingSetBytes};
}

double workingSetSlopePerMinute(const std::vector<ResourceSample>& samples, double fromSeconds, double toSeconds) {
    double n = 0, sumT = 0, sumW = 0, sumTT = 0, sumTW = 0;
    for (const ResourceSample& s : samples) {
        if (s.atSeconds < fromSeconds || s.atSeconds >= toSeconds) continue;
        const double t = s.atSeconds, w = static_cast<double>(s.workingSetBytes);
        n += 1;
        sumT += t;
        sumW += w;
        sumTT += t * t;
        sumTW += t * w;
    }
    const double denominator = n * sumTT - sumT * sumT;
    if (n < 2 || denominator <= 0) return 0;
    return (n * sumTW - sumT * sumW) / denominator * 60.0;
}

}  // namespace measure
