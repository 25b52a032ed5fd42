#include "DriftingSource.h"

#include "capture/PacketConversion.h"

#include <algorithm>
#include <cmath>

DriftingSource::DriftingSource(const SourceTiming& timing)
    : timing(timing), random(timing.seed), packet(std::size_t{packetFrames} * 2) {
    nextArrival = arrivalOf(0);
}

// When the worker has packet `n` in hand: the card completes it at the end
// of its 10 ms on the card's clock; the audio engine signals the event 0 to
// 2 ms later; the worker wakes 0 to 1 ms after that, and one wake in 200 is
// 2 to 6 ms late (the scheduler gave the core to someone else). A worker that
// wakes takes every packet that is ready, so no packet arrives before the
// one ahead of it.
std::int64_t DriftingSource::arrivalOf(std::uint64_t n) {
    const double packetSeconds = double(packetFrames) / (48000.0 * (1.0 + timing.ppm * 1e-6));
    const double completed = double(n + 1) * packetSeconds * double(timing.frequency);
    double delayMs = random.uniform(0.0, 2.0) + random.uniform(0.0, 1.0);
    if (random.oneIn(200)) {
        delayMs += random.uniform(2.0, 6.0);
    }
    const std::int64_t arrival =
        timing.firstPacketStart + std::llround(completed + delayMs * 1e-3 * double(timing.frequency));
    return std::max(arrival, nextArrival);
}

void DriftingSource::deliverUntil(std::int64_t now) {
    while (nextArrival <= now) {
        const std::uint64_t first = packets * packet.size();
        for (std::size_t i = 0; i < packet.size(); ++i) {
            packet[i] = sampleMark(first + i);
        }
        std::lock_guard<std::mutex> held(lock);
        const std::size_t before = fifo.size();
        appendPacket(fifo, packet.data(), packetFrames, false);
        const std::size_t dropped = before + packet.size() - fifo.size();
        droppedSamples += dropped;
        firstDropAt = dropped > 0 && dropEvents == 0 ? nextArrival : firstDropAt;
        dropEvents += dropped > 0;
        ++packets;
        nextArrival = arrivalOf(packets);
    }
}
