#include "app/MixBlock.h"

void addSamples(float* __restrict buffer, std::span<const float> samples) {
    const float* __restrict source = samples.data();
    const std::size_t n = samples.size();
    // Float addition is commutative, so this is the sample-first order
    // exactly; each position gets one addition, so vector lanes change nothing.
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = source[i] + buffer[i];
    }
}

void clampBlock(MixBuffer& buffer) {
    // Written as comparisons that are false for NaN, in this order: the first
    // turns NaN into +1.0, and the compiler maps each one onto a packed
    // minimum or maximum with the operands in the order that keeps that rule.
    for (float& x : buffer) {
        x = x < 1.0f ? x : 1.0f;
        x = x > -1.0f ? x : -1.0f;
    }
}
