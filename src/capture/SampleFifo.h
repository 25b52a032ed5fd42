#pragma once
// First-in first-out queue of float samples, interleaved stereo (left, right,
// ...) at 48000 Hz, for one capture source.
//
// Threads: not synchronised itself. Every call is made with the owning
// CaptureSource's `lock` held: the capture worker appends (append, or
// backRoom/commitBack) and trims, the mixer reads the front and pops.
//
// A double-ended queue of fixed-size chunks: it grows at the back a chunk at a
// time and gives chunks back from the front as they empty, never moving a
// sample it holds. The front is exposed as contiguous runs so that the mixer
// can add whole runs at once rather than one sample per call. One emptied
// chunk is kept for reuse, so a steady stream does not allocate per packet.
//
// `reader` is the mixer's state for this queue (FifoReader.h): the capture
// side never touches it, and it is guarded by the same lock.

#include "capture/FifoReader.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <span>

// The newest 9600 samples (4800 frames, 100 ms) are kept; older ones are
// dropped, so a source never delays the mix by more than 100 ms.
inline constexpr std::size_t sampleFifoCap = 9600;

class SampleFifo {
public:
    static constexpr std::size_t chunkSamples = 2048;

    SampleFifo() = default;
    SampleFifo(const SampleFifo&) = delete;
    SampleFifo& operator=(const SampleFifo&) = delete;

    void append(float sample) {
        if (chunks.empty() || backIndex == chunkSamples) {
            addChunk();
        }
        chunks.back()->samples[backIndex++] = sample;
        ++count;
    }

    std::size_t size() const { return count; }

    // The oldest sample; only when not empty.
    float front() const { return chunks.front()->samples[frontIndex]; }

    // Removes the oldest sample; only when not empty.
    void popFront() { popFront(1); }

    // Removes the `n` oldest samples; n must not exceed size().
    void popFront(std::size_t n);

    // The longest contiguous run of samples at the front, oldest first (empty
    // when the queue is). Valid until the next change of the queue.
    std::span<const float> frontRun() const;

    // Writable room at the back, contiguous and never empty: the packet
    // conversion fills it in place rather than calling append() per sample.
    // Valid until the next change of the queue; nothing counts until
    // commitBack().
    std::span<float> backRoom() {
        if (chunks.empty() || backIndex == chunkSamples) {
            addChunk();
        }
        return {chunks.back()->samples + backIndex, chunkSamples - backIndex};
    }

    // Makes the first `n` samples written into backRoom() part of the queue;
    // n must not exceed that room's size.
    void commitBack(std::size_t n) {
        backIndex += n;
        count += n;
    }

    // Drops the oldest samples until at most `n` remain.
    void trimToNewest(std::size_t n) {
        if (count > n) {
            popFront(count - n);
        }
    }

    FifoReader reader;

private:
    struct Chunk {
        float samples[chunkSamples];
    };
    void addChunk();
    void dropFrontChunk();

    std::deque<std::unique_ptr<Chunk>> chunks;  // oldest first
    std::unique_ptr<Chunk> spare;               // one emptied chunk kept for reuse
    std::size_t frontIndex = 0;                 // first live sample in chunks.front()
    std::size_t backIndex = 0;                  // samples written into chunks.back()
    std::size_t count = 0;
};
