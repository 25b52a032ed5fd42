#include "ToneContinuity.h"

#include "SoundAnalysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace sound {

namespace {

constexpr double twoPi = 2 * std::numbers::pi;

struct SineFit {
    double phase = 0.0;     // at the window's reference frame
    double residual = 1.0;  // rms of what is left, over the fit's rms; 1 when nothing fits
};

// Least squares of x = p sin(w t) + q cos(w t) over frames [first, end) of
// one channel, t counted from frame `reference`.
SineFit fitSine(std::span<const float> interleaved, int channel, double step, std::size_t first, std::size_t end,
                std::size_t reference) {
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0, xx = 0;
    const std::complex<double> turn = std::polar(1.0, step);
    std::complex<double> at = std::polar(1.0, step * (static_cast<double>(first) - static_cast<double>(reference)));
    for (std::size_t frame = first; frame < end; ++frame, at *= turn) {
        const double x = interleaved[frame * channelCount + static_cast<std::size_t>(channel)];
        const double s = at.imag(), c = at.real();
        ss += s * s, cc += c * c, sc += s * c, xs += x * s, xc += x * c, xx += x * x;
    }
    const double determinant = ss * cc - sc * sc;
    SineFit fit;
    if (determinant <= 0) {
        return fit;
    }
    const double p = (xs * cc - xc * sc) / determinant, q = (xc * ss - xs * sc) / determinant;
    const double left = std::max(0.0, xx - p * xs - q * xc), fitted = xx - left;
    fit.phase = std::atan2(q, p);
    fit.residual = fitted > 0 ? std::sqrt(left / fitted) : 1.0;
    return fit;
}

double wrapped(double angle) {
    return std::remainder(angle, twoPi);
}

bool holdsSilence(std::span<const float> interleaved, int channel, std::size_t block) {
    std::size_t run = 0;
    for (std::size_t frame = block * framesPerBlock; frame < (block + 1) * framesPerBlock; ++frame) {
        run = interleaved[frame * channelCount + static_cast<std::size_t>(channel)] == 0.0f ? run + 1 : 0;
        if (run >= 2) {
            return true;
        }
    }
    return false;
}

// Each block's relative residual in one channel; 1 where it holds silence.
std::vector<double> blockResiduals(std::span<const float> interleaved, int channel, double frequency) {
    const std::size_t blocks = interleaved.size() / channelCount / framesPerBlock;
    const double step = twoPi * frequency / sampleRate, perBlock = step * framesPerBlock;
    // What each block's phase gained on the named frequency since the block
    // before: the tone's own drift, or a click.
    std::vector<double> phases(blocks), gained(blocks, 0.0), residuals(blocks, 1.0);
    for (std::size_t k = 0; k < blocks; ++k) {
        phases[k] = fitSine(interleaved, channel, step, k * framesPerBlock, (k + 1) * framesPerBlock,
                            k * framesPerBlock).phase;
        if (k > 0) {
            gained[k] = wrapped(phases[k] - phases[k - 1] - perBlock);
        }
    }
    for (std::size_t k = 1; k + 1 < blocks; ++k) {
        if (holdsSilence(interleaved, channel, k)) {
            continue;
        }
        std::vector<double> around(gained.begin() + static_cast<std::ptrdiff_t>(k >= 5 ? k - 4 : 1),
                                   gained.begin() + static_cast<std::ptrdiff_t>(std::min(blocks, k + 6)));
        std::nth_element(around.begin(), around.begin() + static_cast<std::ptrdiff_t>(around.size() / 2), around.end());
        const double localStep = step + around[around.size() / 2] / framesPerBlock;
        residuals[k] = fitSine(interleaved, channel, localStep, (k - 1) * framesPerBlock, (k + 2) * framesPerBlock,
                               k * framesPerBlock).residual;
    }
    return residuals;
}

}  // namespace

std::vector<Discontinuity> toneDiscontinuities(std::span<const float> interleaved, double frequency,
                                               std::size_t fromBlock) {
    const std::vector<double> left = blockResiduals(interleaved, 0, frequency),
                              right = blockResiduals(interleaved, 1, frequency);
    std::vector<Discontinuity> found;
    bool inRun = false;
    for (std::size_t k = std::max<std::size_t>(fromBlock, 1); k + 1 < left.size(); ++k) {
        const double residual = std::max(left[k], right[k]);
        if (residual <= continuityLimit) {
            inRun = false;
            continue;
        }
        if (!inRun) {
            found.push_back({k, 0, false, 0.0});
        }
        inRun = true;
        Discontinuity& click = found.back();
        ++click.blocks;
        click.gap = click.gap || holdsSilence(interleaved, 0, k) || holdsSilence(interleaved, 1, k);
        click.residual = std::max(click.residual, residual);
    }
    return found;
}

}  // namespace sound
