#include "capture/RateSteering.h"

#include <algorithm>
#include <cmath>

namespace {

// Chosen on the clock-drift simulation (bench/drift). The fill is seen in
// whole packets (a packet that comes just after a block rather than just
// before it moves the fill by 10 ms), so a loop quick enough to catch a card
// 5000 ppm off in a few seconds would move the step by thousands of ppm on
// that noise for ever. The loop therefore starts quick and settles, over
// its first 10 s of mixing, to a slow one: the quick loop learns the
// card's offset to a few hundred ppm, the slow one refines it while
// moving the step by tens of ppm only.
constexpr double blockSeconds = 0.01;
constexpr double samplesPerSecond = 96000.0;  // stereo samples per second of audio
constexpr int settlingBlocks = 1000;
constexpr double settledBand = 0.005;  // seconds of audio: half a 10 ms packet

struct Gains {
    double smoothing;     // of the fill, per block
    double proportional;  // step offset per second of fill error
    double integral;      // the same, per second, integrated
};
constexpr Gains quick{blockSeconds / 0.3, 1.2, 0.4};
constexpr Gains slow{blockSeconds / 2.0, 0.2, 0.01};

double between(double from, double to, double share) { return from + (to - from) * share; }

}  // namespace

double RateSteering::step(double heldSamples, double targetSamples) {
    const double share = double(std::min(mixedBlocks++, settlingBlocks)) / settlingBlocks;
    const Gains gains{between(quick.smoothing, slow.smoothing, share),
                      between(quick.proportional, slow.proportional, share),
                      between(quick.integral, slow.integral, share)};
    smoothed += gains.smoothing * (heldSamples - smoothed);
    const double error = (smoothed - targetSamples) / samplesPerSecond;  // seconds of audio
    const double unclamped = gains.proportional * error + integral;
    // Once settled, the integral rests while the fill is within half a
    // packet of the target: the fill is seen only to a packet, and an
    // integral fed that rounding would swing the step by hundreds of ppm to
    // and fro for ever. Within it the proportional term holds the fill
    // where the remaining offset (at most 1000 ppm) balances it. Nor does
    // it grow while that pushes the step further past a bound.
    const bool settled = share == 1.0 && std::abs(error) < settledBand;
    if (!settled && (unclamped < mostOffset || error < 0) && (unclamped > -mostOffset || error > 0)) {
        integral = std::clamp(integral + gains.integral * error * blockSeconds, -mostOffset, mostOffset);
    }
    last = 1.0 + std::clamp(gains.proportional * error + integral, -mostOffset, mostOffset);
    return last;
}
