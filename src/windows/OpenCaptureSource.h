#pragma once
// Turns one process id into a running CaptureSource, or nothing.
//
// Threads: the scanning thread (in the multithreaded apartment), without the
// source-map lock: an activation may wait up to 5000 ms, and the mixer must
// not wait with it. Takes no lock itself.

#include "windows/CaptureSource.h"

#include <cstdint>
#include <memory>

// Every stream is asked for 48000 Hz 16-bit stereo PCM; the engine converts
// whatever the process plays into it, and the worker relies on that layout.
inline constexpr WAVEFORMATEX captureFormat{
    WAVE_FORMAT_PCM,  // wFormatTag
    2,                // nChannels
    48000,            // nSamplesPerSec
    192000,           // nAvgBytesPerSec
    4,                // nBlockAlign
    16,               // wBitsPerSample
    0,                // cbSize
};

// Loopback of the process tree, signalled by event, converted by the engine.
inline constexpr DWORD captureStreamFlags =
    AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM;
static_assert(captureStreamFlags == 0x80060000);
// 20 ms in 100-ns units.
inline constexpr REFERENCE_TIME captureBufferDuration = 200000;

// Nothing of a failed attempt remains; the caller simply tries again at its
// next scan. Thread-creation and allocation failures leave as exceptions,
// after the partly built source has been stopped and destroyed. The source's
// worker wakes `wakeOnEnd`, when given, if its client dies.
std::unique_ptr<CaptureSource> openCaptureSource(std::uint32_t processId, RescanWake* wakeOnEnd = nullptr);
