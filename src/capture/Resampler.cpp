#include "capture/Resampler.h"

#include "capture/SampleFifo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define VINTRA_PACKED_TAPS 1
#endif

namespace {

// Chosen by measurement (bench/resampler_quality_figures.cpp): with 24 taps
// a Kaiser beta of 9.2 keeps the residual at or below -98 dB for 1, 5 and
// 15 kHz tones; 16 taps reached only -72 dB at 15 kHz, and 32 taps cost a
// third more for 3 to 9 dB.
constexpr double kaiserBeta = 9.2;
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

static_assert(taps % 4 == 0);

// One output frame of both channels: the taps between rows c0 and c1 at t,
// applied to the frames from l and r on. Four taps at a time where the
// target has SSE (every x86-64 does), in four partial sums per channel.
inline void interpolate(const float* c0, const float* c1, float t, const float* l, const float* r, float& outLeft,
                        float& outRight) {
#ifdef VINTRA_PACKED_TAPS
    const __m128 share = _mm_set1_ps(t);
    __m128 sumLeft = _mm_setzero_ps(), sumRight = _mm_setzero_ps();
    for (std::size_t k = 0; k < taps; k += 4) {
        const __m128 a = _mm_loadu_ps(c0 + k);
        const __m128 c = _mm_add_ps(a, _mm_mul_ps(share, _mm_sub_ps(_mm_loadu_ps(c1 + k), a)));
        sumLeft = _mm_add_ps(sumLeft, _mm_mul_ps(c, _mm_loadu_ps(l + k)));
        sumRight = _mm_add_ps(sumRight, _mm_mul_ps(c, _mm_loadu_ps(r + k)));
    }
    alignas(16) float lanes[8];
    _mm_store_ps(lanes, sumLeft);
    _mm_store_ps(lanes + 4, sumRight);
    outLeft = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    outRight = (lanes[4] + lanes[5]) + (lanes[6] + lanes[7]);
#else
    float sumLeft[4] = {}, sumRight[4] = {};
    for (std::size_t k = 0; k < taps; k += 4) {
        for (std::size_t j = 0; j < 4; ++j) {
            const float c = c0[k + j] + t * (c1[k + j] - c0[k + j]);
            sumLeft[j] += c * l[k + j];
            sumRight[j] += c * r[k + j];
        }
    }
    outLeft = (sumLeft[0] + sumLeft[1]) + (sumLeft[2] + sumLeft[3]);
    outRight = (sumRight[0] + sumRight[1]) + (sumRight[2] + sumRight[3]);
#endif
}

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
        float outLeft, outRight;
        interpolate(c0, c1, t, l, r, outLeft, outRight);
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
