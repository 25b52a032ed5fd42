#pragma once
// A stereo fractional resampler for rate matching: it reads a source's
// frames from its SampleFifo and writes frames at a step of `step` input
// frames per output frame, a step that may change at every block.
//
// Each output frame is the band-limited interpolation of the input at its
// position: a Kaiser-windowed sinc of `taps` points, cut off at the Nyquist
// frequency, taken from a table of `phases` fractional positions with
// linear interpolation between neighbouring phases. The position is carried
// from block to block in double precision, so a new step changes the pace
// and never the phase: nothing is skipped, repeated or shifted when the step
// changes. docs/performance.md gives the measured quality.
//
// The resampler holds the frames it still needs (taps / 2 on either side of
// the next position) in two fixed arrays: it allocates nothing after its
// construction.
//
// OS-free. Threads: one caller at a time (the mixer, with the source's lock
// held, since it takes from the source's FIFO).

#include <array>
#include <cstddef>

class SampleFifo;

class StereoResampler {
public:
    static constexpr std::size_t taps = 24;
    static constexpr std::size_t phases = 256;
    static constexpr std::size_t mostOutputFrames = 480;  // per call
    static constexpr double mostStep = 2.0;

    StereoResampler();

    // Adds up to `frames` output frames (at most mostOutputFrames) into
    // `out`, interleaved left, right (out[2j] = left + out[2j]), stepping
    // `step` input frames per output frame (0 < step <= mostStep). Takes the
    // frames it needs from the front of `fifo`, which holds whole frames.
    // Returns how many output frames it gave: fewer when the FIFO ran out.
    std::size_t addInto(float* out, std::size_t frames, double step, SampleFifo& fifo);

    // Input frames taken from the FIFO and not yet passed by the position:
    // with the FIFO's own, what the source holds ahead of the mix.
    double framesAhead() const { return double(held) - position; }

private:
    static constexpr std::size_t half = taps / 2;
    static constexpr std::size_t capacity = taps + 2 * mostOutputFrames + 2;

    void take(SampleFifo& fifo, std::size_t frames);

    std::array<float, capacity> left{}, right{};
    std::size_t held;   // frames in left/right
    double position;    // input position of the next output frame, in frames from left[0]
};
