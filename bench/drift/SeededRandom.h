#pragma once
// Reproducible draws for the clock-drift simulation. The 64-bit Mersenne
// Twister's sequence is fixed by the C++ standard, but its distributions are
// not (each library draws differently), so the uniform values are made here
// by hand: one seed gives the same run with every compiler.
//
// Threads: one owner; not synchronised.

#include <cstdint>
#include <random>

class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : engine(seed) {}

    // Uniform in [low, high), from the draw's top 53 bits.
    double uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(engine() >> 11) * 0x1.0p-53;
    }

    // True once in `n` draws, on average.
    bool oneIn(std::uint64_t n) { return engine() % n == 0; }

private:
    std::mt19937_64 engine;
};
