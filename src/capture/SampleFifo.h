#pragma once
// First-in first-out queue of float samples, interleaved stereo (left, right,
// ...) at 48000 Hz, for one capture source.
//
// Threads: not synchronised itself. Every call is made with the owning
// CaptureSource's `lock` held: the capture worker appends and trims, the
// mixer reads the front and pops.
//
// A double-ended queue: it grows at the back and gives storage back at the
// front, without moving the samples it holds.

#include <cstddef>
#include <deque>

// The newest 9600 samples (4800 frames, 100 ms) are kept; older ones are
// dropped, so a source never delays the mix by more than 100 ms.
inline constexpr std::size_t sampleFifoCap = 9600;

class SampleFifo {
public:
    void append(float sample) { samples.push_back(sample); }
    std::size_t size() const { return samples.size(); }
    // Only when not empty.
    float front() const { return samples.front(); }
    // Only when not empty.
    void popFront() { samples.pop_front(); }
    // Drops the oldest samples until at most `count` remain.
    void trimToNewest(std::size_t count) {
        while (samples.size() > count) {
            samples.pop_front();
        }
    }

private:
    std::deque<float> samples;
};
