#pragma once
// One block of the output stream: 960 floats (480 stereo frames, 10 ms at
// 48000 Hz), and the two steps that fill it, the gather from every source and
// the clamp to -1.0 .. +1.0.
//
// OS-free. The gather is a template over the source map so that it runs on
// the real SourceMap in the program and on stand-in sources in native tests;
// a source type needs a `lock` (a mutex) and a `fifo` (a SampleFifo).
//
// Threads and locks: gatherBlock() takes `sourceMapLock` for the whole pass
// and, inside it, each source's `lock` in turn; it must be called with no
// lock held. The buffer belongs to the caller's thread.

#include "capture/SampleFifo.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <mutex>
#include <span>

inline constexpr std::size_t samplesPerBlock = 960;

using MixBuffer = std::array<float, samplesPerBlock>;

// buffer[i] = samples[i] + buffer[i] for i < samples.size(), in single
// precision. Out of line so that it is compiled once, vectorised.
void addSamples(float* buffer, std::span<const float> samples);

// Takes up to one block's worth of samples from `fifo` and adds them into
// buffer positions 0 .. n-1, oldest sample first. Whole contiguous runs are
// added at a time; the result is bit for bit that of adding and popping one
// sample after the other. Call with the source's lock held.
inline void drainInto(MixBuffer& buffer, SampleFifo& fifo) {
    const std::size_t n = std::min(fifo.size(), samplesPerBlock);
    std::size_t done = 0;
    while (done < n) {
        const std::span<const float> run = fifo.frontRun();
        const std::size_t take = std::min(run.size(), n - done);
        addSamples(buffer.data() + done, run.first(take));
        fifo.popFront(take);
        done += take;
    }
}

// Adds every source's contribution into `buffer`, in ascending process id
// (the map's order), which fixes the rounding of sums of three or more. The
// source-map lock is held for the whole pass, so no source comes or goes
// during it; each source's lock only while its own samples are taken.
template <class Sources>
void gatherBlock(std::mutex& sourceMapLock, Sources& sources, MixBuffer& buffer) {
    std::lock_guard<std::mutex> mapHeld(sourceMapLock);
    for (auto& entry : sources) {
        auto& source = *entry.second;
        std::lock_guard<std::mutex> sourceHeld(source.lock);
        drainInto(buffer, source.fifo);
    }
}

// Clamps every value to -1.0 .. +1.0: first min(x, +1.0), then max(x, -1.0),
// each keeping x only when the comparison holds, so NaN becomes +1.0 and
// -0.0 stays -0.0.
void clampBlock(MixBuffer& buffer);
