#include "capture/Resampler.h"

#include "capture/SampleFifo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

// Chosen by measurement: 32 taps and a Kaiser beta of 8.6 keep the residual
// below -100 dB at 1 kHz and -80 dB at 15 kHz (docs/performance.md).
constexpr double kaiserBeta = 8.6;
constexpr std::size_t taps = StereoResampler::taps;
constexpr std::size_t phases = StereoResampler::phases;

// The zeroth-order modified Bessel function of the first kind, by its series.
double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Row p (0 .. phases) holds the taps for an output frame p / phases of an
// input frame past the frame it is centred on; tap k sits k + 1 - taps / 2
// frames from that frame. Row `phases` is row 0 moved by one frame, so that
// interpolation between rows p and p + 1 needs no special last case. Each
// row is scaled to a sum of exactly 1 in double, so a constant passes as it
// is.
struct PhaseTable {
    std::array<float, (phases + 1) * taps> coefficients;
    PhaseTable() {
        for (std::size_t p = 0; p <= phases; ++p) {
            double row[taps], sum = 0;
            for (std::size_t k = 0; k < taps; ++k) {
                const double x = double(k) + 1.0 - double(taps / 2) - double(p) / double(phases);
                const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
                const double edge = x / double(taps / 2);
                const double window = edge * edge < 1.0 ? besselI0(kaiserBeta * std::sqrt(1.0 - edge * edge)) : 0.0;
                row[k] = sinc * window;
                sum += row[k];
            }
            for (std::size_t k = 0; k < taps; ++k) {
                coefficients[p * taps + k] = static_cast<float>(row[k] / sum);
            }
        }
    }
};

const PhaseTable& phaseTable() {
    static const PhaseTable table;
    return table;
}

}  // namespace

// Starts with half - 1 frames of silence before the first frame the FIFO
// gives, which is where the first output frame is centred: the source's
// sound comes out whole, half a window later, after a short fade-in.
StereoResampler::StereoResampler() : held(half - 1), position(double(half - 1)) { phaseTable(); }

void StereoResampler::take(SampleFifo& fifo, std::size_t frames) {
    frames = std::min({frames, fifo.size() / 2, capacity - held});
    std::size_t samples = 2 * frames;
    while (samples > 0) {
        const std::span<const float> run = fifo.frontRun();
        const std::size_t n = std::min(run.size(), samples) & ~std::size_t{1};
        for (std::size_t i = 0; i < n; i += 2) {
            left[held] = run[i];
            right[held++] = run[i + 1];
        }
        fifo.popFront(n);
        samples -= n;
        if (n == 0) {
            // A frame split across two storage chunks.
            left[held] = fifo.front();
            fifo.popFront();
            right[held++] = fifo.front();
            fifo.popFront();
            samples -= 2;
        }
    }
}

std::size_t StereoResampler::addInto(float* out, std::size_t frames, double step, SampleFifo& fifo) {
    frames = std::min(frames, mostOutputFrames);
    if (frames == 0) {
        return 0;
    }
    const std::size_t needed = static_cast<std::size_t>(position + double(frames - 1) * step) + half + 1;
    if (needed > held) {
        take(fifo, needed - held);
    }
    const float* table = phaseTable().coefficients.data();
    std::size_t given = 0;
    for (; given < frames; ++given) {
        const auto base = static_cast<std::size_t>(position);
        if (base + half >= held) {
            break;
        }
        const double scaled = (position - double(base)) * double(phases);
        const auto p = static_cast<std::size_t>(scaled);
        const auto t = static_cast<float>(scaled - double(p));
        const float* c0 = table + p * taps;
        const float* c1 = c0 + taps;
        const float* l = left.data() + base + 1 - half;
        const float* r = right.data() + base + 1 - half;
        // Eight partial sums per channel, so the compiler can keep them in
        // vector lanes; a single running sum would be one long dependency.
        constexpr std::size_t lanes = 8;
        float sumLeft[lanes] = {}, sumRight[lanes] = {};
        for (std::size_t k = 0; k < taps; k += lanes) {
            for (std::size_t j = 0; j < lanes; ++j) {
                const float c = c0[k + j] + t * (c1[k + j] - c0[k + j]);
                sumLeft[j] += c * l[k + j];
                sumRight[j] += c * r[k + j];
            }
        }
        float outLeft = 0.0f, outRight = 0.0f;
        for (std::size_t j = 0; j < lanes; ++j) {
            outLeft += sumLeft[j];
            outRight += sumRight[j];
        }
        out[2 * given] = outLeft + out[2 * given];
        out[2 * given + 1] = outRight + out[2 * given + 1];
        position += step;
    }
    // Keep the frames from the first tap of the next output frame on.
    const std::size_t next = static_cast<std::size_t>(position);
    const std::size_t drop = std::min(next + 1 >= half ? next + 1 - half : 0, held);
    std::memmove(left.data(), left.data() + drop, (held - drop) * sizeof(float));
    std::memmove(right.data(), right.data() + drop, (held - drop) * sizeof(float));
    held -= drop;
    position -= double(drop);
    return given;
}
