#pragma once
// Finding clicks in a steady tone: a gap, or a jump in its phase, anywhere in
// a stream of the program's blocks. A level over half a second cannot see a
// 5 ms gap; a sine fitted to each 10 ms block and its two neighbours can.
//
// Each block is judged by a least-squares sine (amplitude and phase free, per
// channel) over the 30 ms of the block and its neighbours. A continuous tone
// leaves a residual far below a per cent of the fit; a gap, a dropped or
// repeated packet, even one sample dropped or repeated (0.135 rad at 1031
// Hz) leaves several per cent. A block that holds two or more frames of exact
// silence in a row is a gap whatever the fit says: the program's mix is exact
// 0.0 wherever a source gave nothing, and a sampled tone never is twice.
//
// The tone's frequency in the stream may drift slowly from the one named (a
// source whose clock runs off by a few thousand ppm, resampled to the
// program's): each block's fit uses the frequency that the phases of the ten
// blocks around it show, a median that one click cannot sway.
//
// Use a frequency whose period does not divide 10 ms (1031 Hz, not 1 kHz):
// a tone that repeats every block hides a lost block.
//
// Plain functions over interleaved stereo floats at 48000 frames per second;
// no state, any thread.

#include <cstddef>
#include <span>
#include <vector>

namespace sound {

inline constexpr std::size_t framesPerBlock = 480;
// Residual, relative to the fit, above which a block is not continuous.
inline constexpr double continuityLimit = 0.03;

// One click as a listener hears it: a run of consecutive blocks that fail.
struct Discontinuity {
    std::size_t firstBlock = 0, blocks = 0;
    bool gap = false;       // some of it is silent
    double residual = 0.0;  // the largest relative residual in it (1 for silence)
};

// The clicks in a tone of about `frequency` Hz, judged from block
// `fromBlock` to the last block but one (a block is judged with its
// neighbours), in either channel.
std::vector<Discontinuity> toneDiscontinuities(std::span<const float> interleaved, double frequency,
                                               std::size_t fromBlock);

}  // namespace sound
