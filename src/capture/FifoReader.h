#pragma once
// What the mixer keeps about one source between blocks: its cushion and,
// with rate matching, its resampler and the loop that steers it. It lives
// beside the source's samples in its SampleFifo, so it is made and destroyed
// with the source and guarded by the same lock.
//
// OS-free. Threads: the mixer only, with the source's lock held.

#include "capture/Cushion.h"
#include "capture/RateSteering.h"
#include "capture/Resampler.h"

#include <memory>

struct FifoReader {
    Cushion cushion;
    RateSteering steering;
    std::unique_ptr<StereoResampler> resampler;  // made at the first block mixed with rate matching
};
