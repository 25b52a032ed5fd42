#include "capture/SampleFifo.h"

void SampleFifo::addChunk() {
    chunks.push_back(spare ? std::move(spare) : std::make_unique<Chunk>());
    backIndex = 0;
}

void SampleFifo::dropFrontChunk() {
    spare = std::move(chunks.front());
    chunks.pop_front();
    frontIndex = 0;
    if (chunks.empty()) {
        backIndex = 0;
    }
}

void SampleFifo::popFront(std::size_t n) {
    count -= n;
    while (n > 0) {
        std::size_t end = chunks.size() == 1 ? backIndex : chunkSamples;
        std::size_t available = end - frontIndex;
        if (n < available) {
            frontIndex += n;
            return;
        }
        n -= available;
        dropFrontChunk();
    }
}

std::span<const float> SampleFifo::frontRun() const {
    if (count == 0) {
        return {};
    }
    std::size_t end = chunks.size() == 1 ? backIndex : chunkSamples;
    return {chunks.front()->samples + frontIndex, end - frontIndex};
}
