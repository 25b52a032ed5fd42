// The capture worker's share of the hot path: converting and appending one
// 480-frame packet of 16-bit stereo (10 ms of sound) with the trim to the
// cap, and the mixer's draining of 960 samples. Beside them, the plain rule
// the conversion replaces (one std::deque<float> push per sample, then pops
// down to the cap), for comparison; before timing, both are checked to leave
// bit-identical samples. Figures only: nothing here fails on a time.

#include "capture/PacketConversion.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

namespace {

constexpr std::uint32_t packetFrames = 480;
constexpr std::size_t blockSamples = 960;

std::vector<std::int16_t> tonePacket(int seed = 0) {
    std::vector<std::int16_t> packet(packetFrames * 2);
    for (std::size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<std::int16_t>(12000.0 * std::sin(0.03 * static_cast<double>(i / 2 + seed)) +
                                              (i % 2 ? 7 : -7));
    }
    return packet;
}

void plainAppend(std::deque<float>& fifo, const std::int16_t* samples, bool silent) {
    for (std::size_t i = 0; i < packetFrames * 2; ++i) {
        fifo.push_back(silent ? 0.0f : static_cast<float>(samples[i]) * sampleScale);
    }
    while (fifo.size() > sampleFifoCap) {
        fifo.pop_front();
    }
}

// Feeds both the same packets (enough to reach the cap) and compares bits.
bool identicalToPlainRule() {
    SampleFifo fifo;
    std::deque<float> plain;
    for (int p = 0; p < 40; ++p) {
        auto packet = tonePacket(p * 17);
        bool silent = p % 7 == 3;
        appendPacket(fifo, packet.data(), packetFrames, silent);
        plainAppend(plain, packet.data(), silent);
    }
    if (fifo.size() != plain.size()) {
        return false;
    }
    for (float expected : plain) {
        float got = fifo.front();
        fifo.popFront();
        if (std::memcmp(&got, &expected, sizeof got) != 0) {
            return false;
        }
    }
    return true;
}

// One packet into a FIFO that the mixer keeps at one block, as in steady play.
void appendOnePacket(benchmark::State& state) {
    if (!identicalToPlainRule()) {
        state.SkipWithError("conversion differs from the plain rule");
        return;
    }
    const bool silent = state.range(0) != 0;
    const auto packet = tonePacket();
    SampleFifo fifo;
    for (auto _ : state) {
        appendPacket(fifo, packet.data(), packetFrames, silent);
        // Keeps the FIFO at its steady size; costs a few nanoseconds.
        fifo.popFront(packetFrames * 2);
        benchmark::DoNotOptimize(fifo.size());
    }
}
BENCHMARK(appendOnePacket)->ArgName("silent")->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

// A source whose mixer stalled: every packet now also trims to the cap.
void appendAtCap(benchmark::State& state) {
    const auto packet = tonePacket();
    SampleFifo fifo;
    for (int i = 0; i < 20; ++i) {
        appendPacket(fifo, packet.data(), packetFrames, false);
    }
    for (auto _ : state) {
        appendPacket(fifo, packet.data(), packetFrames, false);
        benchmark::DoNotOptimize(fifo.size());
    }
}
BENCHMARK(appendAtCap)->Unit(benchmark::kNanosecond);

// The same at the cap with the plain per-sample deque, for comparison.
void plainDequeAtCap(benchmark::State& state) {
    const auto packet = tonePacket();
    std::deque<float> fifo;
    for (int i = 0; i < 20; ++i) {
        plainAppend(fifo, packet.data(), false);
    }
    for (auto _ : state) {
        plainAppend(fifo, packet.data(), false);
        benchmark::DoNotOptimize(fifo.size());
    }
}
BENCHMARK(plainDequeAtCap)->Unit(benchmark::kNanosecond);

// The mixer's side: 960 samples taken from the front in contiguous runs and
// added into a block. The FIFO is filled far beyond the cap (append() does
// not trim) so that refilling, done with the timer paused, is rare.
void drainOneBlock(benchmark::State& state) {
    SampleFifo fifo;
    auto refill = [&fifo] {
        for (std::size_t i = 0; i < 960 * 1000; ++i) {
            fifo.append(static_cast<float>(i % 1000) * 0x1p-10f);
        }
    };
    refill();
    float block[blockSamples] = {};
    for (auto _ : state) {
        if (fifo.size() < blockSamples) {
            state.PauseTiming();
            refill();
            state.ResumeTiming();
        }
        std::size_t at = 0;
        while (at < blockSamples) {
            std::span<const float> run = fifo.frontRun();
            std::size_t n = std::min(run.size(), blockSamples - at);
            for (std::size_t i = 0; i < n; ++i) {
                block[at + i] += run[i];
            }
            fifo.popFront(n);
            at += n;
        }
        benchmark::DoNotOptimize(block);
    }
}
BENCHMARK(drainOneBlock)->Unit(benchmark::kNanosecond);

}  // namespace
