#pragma once
// Turns one process id into a running CaptureSource, or nothing.
//
// Threads: the scanning thread (in the multithreaded apartment), which holds
// the source-map lock for the whole call. Takes no lock itself.

#include "capture/CaptureSource.h"

#include <cstdint>
#include <memory>

// Nothing of a failed attempt remains; the caller simply tries again at its
// next scan. Thread-creation and allocation failures leave as exceptions,
// after the partly built source has been stopped and destroyed.
std::unique_ptr<CaptureSource> openCaptureSource(std::uint32_t processId);
