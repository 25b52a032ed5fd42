#include "capture/PacketConversion.h"

#include <algorithm>
#include <cstring>

namespace {

// Appends `total` samples that `fill(out, first, n)` writes (samples first ..
// first + n - 1 of the packet into `out`), then trims to the cap. A packet of
// the cap or more replaces everything: only its own newest samples would
// survive the trim, so the older ones are never converted or stored.
template <class Fill>
void appendCapped(SampleFifo& fifo, std::size_t total, Fill&& fill) {
    std::size_t done = 0;
    if (total >= sampleFifoCap) {
        done = total - sampleFifoCap;
        fifo.popFront(fifo.size());
    }
    while (done < total) {
        std::span<float> room = fifo.backRoom();
        const std::size_t n = std::min(total - done, room.size());
        fill(room.data(), done, n);
        fifo.commitBack(n);
        done += n;
    }
    fifo.trimToNewest(sampleFifoCap);
}

}  // namespace

void appendPacket(SampleFifo& fifo, const void* data, std::uint32_t frames, bool silent) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    silent = silent || bytes == nullptr;
    appendCapped(fifo, std::size_t{frames} * 2, [&](float* out, std::size_t first, std::size_t n) {
        if (silent) {
            std::fill_n(out, n, 0.0f);
            return;
        }
        const unsigned char* from = bytes + first * sizeof(std::int16_t);
        for (std::size_t i = 0; i < n; ++i) {
            std::int16_t value;
            std::memcpy(&value, from + i * sizeof value, sizeof value);
            out[i] = static_cast<float>(value) * sampleScale;
        }
    });
}

void appendFloatSamples(SampleFifo& fifo, const void* data, std::size_t samples) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    appendCapped(fifo, samples, [&](float* out, std::size_t first, std::size_t n) {
        if (bytes == nullptr) {
            std::fill_n(out, n, 0.0f);
        } else {
            std::memcpy(out, bytes + first * sizeof(float), n * sizeof(float));
        }
    });
}
