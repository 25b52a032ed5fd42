#include "app/MixBlock.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define VINTRA_PACKED_CLAMP 1
#endif

void addSamples(float* __restrict buffer, std::span<const float> samples) {
    const float* __restrict source = samples.data();
    const std::size_t n = samples.size();
    // Float addition is commutative, so this is the sample-first order
    // exactly; each position gets one addition, so vector lanes change nothing.
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = source[i] + buffer[i];
    }
}

double heldAhead(const SampleFifo& fifo) {
    const double resampled = fifo.reader.resampler ? 2.0 * fifo.reader.resampler->framesAhead() : 0.0;
    return double(fifo.size()) + resampled;
}

void mixSource(MixBuffer& buffer, SampleFifo& fifo, const MixerOptions& options) {
    FifoReader& reader = fifo.reader;
    const bool wasMixing = reader.cushion.mixing();
    double held = heldAhead(fifo);
    if (!reader.cushion.admits(static_cast<std::size_t>(held), samplesPerBlock)) {
        return;
    }
    if (!options.rateMatch) {
        reader.cushion.gave(drainInto(buffer, fifo), samplesPerBlock);
        return;
    }
    const double target = rateMatchTarget(reader.cushion);
    if (!wasMixing) {
        if (!reader.resampler) {
            reader.resampler = std::make_unique<StereoResampler>();
        }
        // A backlog that was never heard (a source that started while the
        // mixer was held up) would otherwise take seconds at the step's
        // bound to drain: start at the target instead, one packet's span
        // above it at most.
        const double most = target + double(samplesPerBlock / 2);
        if (held > most) {
            fifo.popFront(std::min(fifo.size(), static_cast<std::size_t>(held - most) & ~std::size_t{1}));
            held = heldAhead(fifo);
        }
        reader.steering.restart(target);
    }
    const double step = reader.steering.step(held, target);
    const std::size_t frames = reader.resampler->addInto(buffer.data(), samplesPerBlock / 2, step, fifo);
    reader.cushion.gave(2 * frames, samplesPerBlock);
}

void clampBlock(MixBuffer& buffer) {
    static_assert(samplesPerBlock % 4 == 0);
#ifdef VINTRA_PACKED_CLAMP
    // MINPS and MAXPS return their second operand whenever the comparison is
    // false, NaN included: min(x, +1) then max(x, -1) with x first is the
    // rule below, four values at a time. The compiler does not pick these
    // itself for the plain comparisons (it blends), which costs three times
    // as much.
    const __m128 upper = _mm_set1_ps(1.0f);
    const __m128 lower = _mm_set1_ps(-1.0f);
    for (std::size_t i = 0; i < samplesPerBlock; i += 4) {
        __m128 x = _mm_loadu_ps(buffer.data() + i);
        x = _mm_min_ps(x, upper);
        x = _mm_max_ps(x, lower);
        _mm_storeu_ps(buffer.data() + i, x);
    }
#else
    // Comparisons that are false for NaN, in this order: the first turns NaN
    // into +1.0, and -0.0 passes both unchanged.
    for (float& x : buffer) {
        x = x < 1.0f ? x : 1.0f;
        x = x > -1.0f ? x : -1.0f;
    }
#endif
}
