#pragma once
// The loop that steers a rate-matched source's resampler so that its FIFO
// stays at a fill target: the fill seen at each block is smoothed, and its
// error against the target sets the step (input frames per output frame)
// through a proportional and an integral term. The integral term learns the
// source clock's offset against the block clock; the proportional term
// brings the fill back to the target.
//
// The step stays within 1 +- mostOffset. While it is held at a bound the
// integral does not grow further that way, and while the source is not
// mixed (before it starts, while it pauses) the loop is not run at all, so
// neither a pause nor a source beyond the bound winds it up: a source that
// resumes gets the step it had, and nothing rushes in.
//
// OS-free. Threads: the mixer only, with the source's lock held.

class RateSteering {
public:
    static constexpr double mostOffset = 0.01;  // +-1 %: beyond the +-0.5 % a card is locked to

    // At each start of mixing: the smoothed fill starts from the target, so
    // that a source that starts or resumes a little below it (it is let in
    // at the cushion) is brought up over seconds, not at once; what the loop
    // has learnt of the source's clock stays.
    void restart(double targetSamples) { smoothed = targetSamples; }

    // Once per block mixed: the step for this block.
    double step(double heldSamples, double targetSamples);

    double learntOffset() const { return integral; }
    double lastStep() const { return last; }

private:
    double last = 1.0;
    int mixedBlocks = 0;   // blocks stepped so far, up to the loop's settling
    double smoothed = 0;   // samples
    double integral = 0;   // the step's offset from 1 that the integral term holds
};
