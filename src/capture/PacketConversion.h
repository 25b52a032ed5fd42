#pragma once
// Moving one captured packet into a SampleFifo: 16-bit PCM stereo to float
// (the Windows program's packets) or float samples as they are (the Linux
// program's, which the sound server has already converted), silent packets
// as zeros, then the cap. OS-free, so that it also runs
// natively under the sanitizers and in the benchmarks.
//
// Threads: the capture worker, with the source's `lock` held for the whole
// call (the mixer must never see half a packet or a FIFO above the cap).

#include "capture/SampleFifo.h"

#include <cstddef>
#include <cstdint>

// 2^-15 exactly: int16 * this is the sample divided by 32768 with no rounding,
// so -32768 maps to -1.0 and 32767 to 0.999969482421875.
inline constexpr float sampleScale = 1.0f / 32768.0f;
static_assert(sampleScale * 32768.0f == 1.0f);

// Appends 2 x `frames` samples read from `data` (interleaved signed 16-bit
// little-endian, left then right; any alignment), or 2 x `frames` zeros when
// `silent` (then `data` is not read and may be null), then trims `fifo` to its
// newest sampleFifoCap samples. The result is exactly that of appending every
// sample and then trimming; samples the cap would drop at once are skipped.
// A packet with no data that is not marked silent is taken as silence rather
// than read through a null pointer.
void appendPacket(SampleFifo& fifo, const void* data, std::uint32_t frames, bool silent);

// Appends `samples` floats read from `data` (native float32, interleaved
// left then right; any alignment), or `samples` zeros when `data` is null (a
// hole in the recorded stream is silence), then trims `fifo` to its newest
// sampleFifoCap samples, with the same result as appending one at a time.
void appendFloatSamples(SampleFifo& fifo, const void* data, std::size_t samples);
