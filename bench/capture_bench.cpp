// Converting and appending one 480-frame packet of 16-bit stereo, as a
// capture worker does for every packet, into a FIFO that the mixer keeps
// drained to one block. The packet stands for 10 ms of sound; scripts/bench.sh
// states each time as a share of those 10 ms.

#include "capture/PacketConversion.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::uint32_t packetFrames = 480;

std::vector<std::int16_t> tonePacket() {
    std::vector<std::int16_t> packet(packetFrames * 2);
    for (std::size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<std::int16_t>(12000.0 * std::sin(0.03 * static_cast<double>(i / 2)));
    }
    return packet;
}

void appendOnePacket(benchmark::State& state) {
    const bool silent = state.range(0) != 0;
    const auto packet = tonePacket();
    SampleFifo fifo;
    for (auto _ : state) {
        appendPacket(fifo, packet.data(), packetFrames, silent);
        // The mixer takes one block per packet; popping keeps the FIFO at its
        // steady size. It is part of the loop but costs a few nanoseconds.
        fifo.popFront(packetFrames * 2);
        benchmark::DoNotOptimize(fifo.size());
    }
}

BENCHMARK(appendOnePacket)->ArgName("silent")->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

// A source whose mixer stalled: every packet now also trims to the cap.
void appendAtCap(benchmark::State& state) {
    const auto packet = tonePacket();
    SampleFifo fifo;
    for (int i = 0; i < 20; ++i) appendPacket(fifo, packet.data(), packetFrames, false);
    for (auto _ : state) {
        appendPacket(fifo, packet.data(), packetFrames, false);
        benchmark::DoNotOptimize(fifo.size());
    }
}

BENCHMARK(appendAtCap)->Unit(benchmark::kNanosecond);

}  // namespace
