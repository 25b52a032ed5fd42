#include "capture/PacketConversion.h"

#include <algorithm>
#include <cstring>

void appendPacket(SampleFifo& fifo, const void* data, std::uint32_t frames, bool silent) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    silent = silent || bytes == nullptr;
    std::size_t remaining = std::size_t{frames} * 2;

    // A packet of more than the cap replaces everything: only its own newest
    // samples would survive the trim, so the older ones are never stored.
    if (remaining >= sampleFifoCap) {
        if (!silent) {
            bytes += (remaining - sampleFifoCap) * sizeof(std::int16_t);
        }
        remaining = sampleFifoCap;
        fifo.popFront(fifo.size());
    }

    while (remaining > 0) {
        std::span<float> room = fifo.backRoom();
        std::size_t n = std::min(remaining, room.size());
        float* out = room.data();
        if (silent) {
            std::fill_n(out, n, 0.0f);
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                std::int16_t value;
                std::memcpy(&value, bytes + i * sizeof value, sizeof value);
                out[i] = static_cast<float>(value) * sampleScale;
            }
            bytes += n * sizeof(std::int16_t);
        }
        fifo.commitBack(n);
        remaining -= n;
    }
    fifo.trimToNewest(sampleFifoCap);
}
