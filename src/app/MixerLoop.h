#pragma once
// The mixer's whole loop, OS-free: every due block is cleared, gathered from
// the sources, clamped and handed to the output, until the output reports
// that it is broken.
//
// The Windows program plugs in the performance counter and standard output
// (Mixer.cpp); tests plug in a simulated clock and a recording output. The
// output has one member, `bool write(const MixBuffer&)`, false when the block
// could not be delivered whole.
//
// Threads: the calling thread only; it takes the source-map lock and each
// source's lock per block (see MixBlock.h).

#include "app/BlockSchedule.h"
#include "app/MixBlock.h"

#include <mutex>

template <class Clock, class Output, class Sources>
void runMixer(Clock& clock, Output& output, std::mutex& sourceMapLock, Sources& sources,
              const MixerOptions& options = {}) {
    // One buffer for the whole run: no allocation per block.
    MixBuffer buffer;
    runBlockSchedule(clock, [&](std::int64_t) {
        buffer.fill(0.0f);
        gatherBlock(sourceMapLock, sources, buffer, options);
        clampBlock(buffer);
        return output.write(buffer);
    });
}
