#pragma once
// One block of the output stream: 960 floats (480 stereo frames, 10 ms at
// 48000 Hz), and the two steps that fill it, the gather from every source and
// the clamp to -1.0 .. +1.0.
//
// A source is gathered only while its cushion admits it (capture/Cushion.h):
// once its FIFO holds a block plus the cushion, and until it gives less than
// a whole block. With rate matching its samples pass through its resampler,
// steered to keep the FIFO at the cushion (MixerOptions.h).
//
// OS-free. The gather is a template over the source map so that it runs on
// the real SourceMap in the program and on stand-in sources in native tests;
// a source type needs a `lock` (a mutex) and a `fifo` (a SampleFifo).
//
// Threads and locks: gatherBlock() takes `sourceMapLock` for the whole pass
// and, inside it, each source's `lock` in turn; it must be called with no
// lock held. The buffer belongs to the caller's thread.

#include "app/MixerOptions.h"
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
inline std::size_t drainInto(MixBuffer& buffer, SampleFifo& fifo) {
    const std::size_t n = std::min(fifo.size(), samplesPerBlock);
    std::size_t done = 0;
    while (done < n) {
        const std::span<const float> run = fifo.frontRun();
        const std::size_t take = std::min(run.size(), n - done);
        addSamples(buffer.data() + done, run.first(take));
        fifo.popFront(take);
        done += take;
    }
    return n;
}

// What a FIFO's source holds ahead of the mix, in samples: the FIFO and
// what its resampler has taken from it and not yet used.
double heldAhead(const SampleFifo& fifo);

// The fill that rate matching steers a source's FIFO to, as seen at a block
// before it is taken: the block, the cushion and half a 10 ms packet, since
// packets arrive whole and the fill before a block lies anywhere in a
// packet's span above the cushion.
inline double rateMatchTarget(const Cushion& cushion) {
    return double(samplesPerBlock + cushion.samples() + samplesPerBlock / 2);
}

// One source's part of the block: nothing while its cushion does not admit
// it, otherwise up to a block of its samples, as they are or through its
// resampler. Call with the source's lock held.
void mixSource(MixBuffer& buffer, SampleFifo& fifo, const MixerOptions& options);

// Adds every source's contribution into `buffer`, in ascending process id
// (the map's order), which fixes the rounding of sums of three or more. The
// source-map lock is held for the whole pass, so no source comes or goes
// during it; each source's lock only while its own samples are taken.
template <class Sources>
void gatherBlock(std::mutex& sourceMapLock, Sources& sources, MixBuffer& buffer, const MixerOptions& options = {}) {
    std::lock_guard<std::mutex> mapHeld(sourceMapLock);
    for (auto& entry : sources) {
        auto& source = *entry.second;
        std::lock_guard<std::mutex> sourceHeld(source.lock);
        mixSource(buffer, source.fifo, options);
    }
}

// Clamps every value to -1.0 .. +1.0: first min(x, +1.0), then max(x, -1.0),
// each keeping x only when the comparison holds, so NaN becomes +1.0 and
// -0.0 stays -0.0.
void clampBlock(MixBuffer& buffer);
