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
