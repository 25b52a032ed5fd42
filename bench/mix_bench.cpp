// One output block's gather and clamp with 1, 8 and 32 sources, each source
// refilled with one block of samples per block as it is in steady running
// (after the first blocks, which build up each source's cushion), and with 8
// sources through their rate-matching resamplers (--rate-match). The block
// budget is 10 ms; scripts/bench.sh states each time as a share of it.

#include "app/MixBlock.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace {

// Shaped like a capture source as far as the gather is concerned.
struct BenchSource {
    std::mutex lock;
    SampleFifo fifo;
};
using BenchSources = std::map<std::uint32_t, std::unique_ptr<BenchSource>>;

// Refills a source with one block, as its worker would between two blocks.
// Done in bulk through backRoom so that the refill costs little beside the
// gather being measured.
void refill(SampleFifo& fifo, float level) {
    std::size_t left = samplesPerBlock;
    while (left > 0) {
        auto room = fifo.backRoom();
        const std::size_t n = std::min(room.size(), left);
        for (std::size_t i = 0; i < n; ++i) room[i] = level * std::sin(0.05f * static_cast<float>(i));
        fifo.commitBack(n);
        left -= n;
    }
}

void gatherAndClamp(benchmark::State& state) {
    const auto count = static_cast<std::uint32_t>(state.range(0));
    const MixerOptions options{state.range(1) != 0};
    std::mutex sourceMapLock;
    BenchSources sources;
    for (std::uint32_t pid = 1; pid <= count; ++pid) {
        sources[pid * 4] = std::make_unique<BenchSource>();
    }
    MixBuffer buffer{};
    for (auto _ : state) {
        // The refill is timed out by hand: PauseTiming costs more than the
        // gather of one source.
        for (auto& [pid, source] : sources) refill(source->fifo, 0.2f);
        const auto begin = std::chrono::steady_clock::now();
        buffer.fill(0.0f);
        gatherBlock(sourceMapLock, sources, buffer, options);
        clampBlock(buffer);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
}

BENCHMARK(gatherAndClamp)
    ->ArgNames({"sources", "rateMatch"})
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({32, 0})
    ->Args({1, 1})
    ->Args({8, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// For comparison: the same work with each source's samples in a plain
// std::deque<float>, taken and added one sample at a time, clamped with the
// plain comparisons. The figure to beat.
void perSampleDequeBaseline(benchmark::State& state) {
    const auto count = static_cast<std::uint32_t>(state.range(0));
    std::map<std::uint32_t, std::deque<float>> sources;
    for (std::uint32_t pid = 1; pid <= count; ++pid) {
        sources[pid * 4];
    }
    MixBuffer buffer{};
    for (auto _ : state) {
        for (auto& [pid, fifo] : sources) {
            for (std::size_t i = 0; i < samplesPerBlock; ++i) fifo.push_back(0.2f * std::sin(0.05f * static_cast<float>(i)));
        }
        const auto begin = std::chrono::steady_clock::now();
        buffer.fill(0.0f);
        for (auto& [pid, fifo] : sources) {
            const std::size_t n = std::min(fifo.size(), samplesPerBlock);
            for (std::size_t j = 0; j < n; ++j) {
                buffer[j] = fifo.front() + buffer[j];
                fifo.pop_front();
            }
        }
        for (float& x : buffer) {
            x = x < 1.0f ? x : 1.0f;
            x = x > -1.0f ? x : -1.0f;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
}

BENCHMARK(perSampleDequeBaseline)->ArgName("sources")->Arg(1)->Arg(8)->Arg(32)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The clamp on its own, over a block with values past full scale.
void clampOnly(benchmark::State& state) {
    MixBuffer buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = 3.0f * std::sin(0.01f * static_cast<float>(i));
    for (auto _ : state) {
        clampBlock(buffer);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(clampOnly)->Unit(benchmark::kNanosecond);

}  // namespace
