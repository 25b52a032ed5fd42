#pragma once
// Measuring what a stream of the program's samples sounds like: per-channel
// level and the level of chosen tones. Used by the black-box tests ("440 Hz at
// about 0.25, 660 Hz absent") and by the wav-report tool of the demo.
//
// Samples are interleaved stereo floats at 48000 frames per second, as the
// program writes them. Plain functions over spans; no state, any thread.

#include <cstddef>
#include <span>
#include <vector>

namespace sound {

inline constexpr double sampleRate = 48000.0;
inline constexpr int channelCount = 2;

struct ChannelLevel {
    double rms = 0.0;
    double peak = 0.0;  // largest magnitude
};

// Level of channel 0 (left) or 1 (right) of interleaved stereo samples.
ChannelLevel channelLevel(std::span<const float> interleaved, int channel);

// Peak amplitude of a sine at `frequency` Hz in one channel, estimated with a
// Hann-windowed Goertzel filter over all the frames given. A full-scale sine
// reads about 1.0 whatever its phase; a tone that is not there reads near 0.
// The window keeps a strong neighbour (say 440 Hz beside 660 Hz) from leaking
// into the measurement once the span holds a few thousand frames.
double toneLevel(std::span<const float> interleaved, int channel, double frequency);

// The level of a tone that a listener can rely on: the median of toneLevel
// over the last `windows` windows of `windowFrames` frames each. A source's
// packets may shift against the program's blocks by one packet now and then,
// which is correct output but sways a level taken over one long window; the
// median of short windows is not swayed, while a tone that is absent or
// captured twice still reads 0 or double. -1 when the span is shorter.
double medianToneLevel(std::span<const float> interleaved, int channel, double frequency,
                       std::size_t windowFrames, std::size_t windows);

// Where a tone begins: the first frame, on a grid of `stepFrames`, from which
// `windowFrames` frames hold `frequency` at `level` or more; the span's frame
// count when none do.
std::size_t toneOnsetFrame(std::span<const float> interleaved, int channel, double frequency, double level,
                           std::size_t windowFrames, std::size_t stepFrames);

struct Peak {
    double frequency = 0.0;
    double level = 0.0;
};

// The strongest tones of one channel between `lowest` and `highest` Hz, on a
// grid of `step` Hz, strongest first: local maxima of toneLevel above
// `threshold`, at most `count` of them. Coarse on purpose (the demo and tests
// play tones on round frequencies); cost is frames x grid points.
std::vector<Peak> strongestTones(std::span<const float> interleaved, int channel, double lowest,
                                 double highest, double step, double threshold, std::size_t count);

}  // namespace sound
