#pragma once
// One simulated capture source whose sound card runs on a clock of its own:
// it completes a 10 ms packet (480 frames, 16-bit stereo, as the Windows
// capture worker receives them) every 480 / (48000 x (1 + ppm / 10^6))
// seconds of the block clock, and the worker moves each packet into the
// source's SampleFifo with the program's own appendPacket, at the moment it
// would wake for it.
//
// Shaped like a CaptureSource as far as the gather is concerned (`lock` and
// `fifo`), so the program's gatherBlock drains it.
//
// Every sample carries its own position in the card's stream (sampleMark),
// so what reaches a block says which samples came and which were lost.
//
// Threads: the simulation's one thread. The lock is taken around each append
// as the worker takes it, though nothing contends for it here.

#include "SeededRandom.h"

#include "capture/SampleFifo.h"

#include <cstdint>
#include <mutex>
#include <vector>

inline constexpr std::uint32_t packetFrames = 480;

// Sample `index` of the card's stream as a 16-bit value: 1 .. 32767, never
// 0, so a sample that came is never mistaken for silence.
constexpr std::int16_t sampleMark(std::uint64_t index) {
    return static_cast<std::int16_t>(index % 32767 + 1);
}

struct SourceTiming {
    double ppm;                      // the card's rate against the block clock
    std::int64_t frequency;          // block-clock counts per second
    std::int64_t firstPacketStart;   // when the card starts its first packet, in counts
    std::uint64_t seed;              // for the delivery jitter
};

class DriftingSource {
public:
    explicit DriftingSource(const SourceTiming& timing);

    // Appends, in order, every packet the worker has taken by counter
    // reading `now`.
    void deliverUntil(std::int64_t now);

    bool running() const { return packets > 0; }

    std::mutex lock;   // guards fifo, as a CaptureSource's lock does
    SampleFifo fifo;

    // Counted at each append: the cap's drops are the samples the FIFO gave
    // up to stay within 9600, and an event is one append that dropped any.
    std::uint64_t packets = 0;
    std::uint64_t droppedSamples = 0;
    std::uint64_t dropEvents = 0;
    std::int64_t firstDropAt = 0;  // the counter when the first append dropped

private:
    std::int64_t arrivalOf(std::uint64_t packet);

    SourceTiming timing;
    SeededRandom random;
    std::int64_t nextArrival = 0;  // when the worker has the next packet in hand
    std::vector<std::int16_t> packet;
};
