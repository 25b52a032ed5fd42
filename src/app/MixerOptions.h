#pragma once
// How the mixer treats its sources, from the command line.
//
// rateMatch ("--rate-match"): each source passes through a resampler whose
// step is steered so that the source's FIFO stays at its cushion, which
// locks the source's clock to the block clock: no gaps, no drops and a
// constant delay over hours. Without it, a source's samples go into the mix
// as they are, and a sound card's clock that runs slow or fast shows as gaps
// or as a growing delay and drops at the FIFO's cap.

struct MixerOptions {
    bool rateMatch = false;
};
