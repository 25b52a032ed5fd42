#pragma once
// The paced mixer: the main thread's work after start-up. Every 10 ms of the
// performance counter it gathers up to 960 samples from every source, clamps
// the sum and writes one 3840-byte block to standard output.
//
// Threads: main thread only. Per block it takes the source-map lock, then each
// source's `lock` in turn (never the other way round).

#include "windows/SourceMap.h"

#include "app/MixerOptions.h"

#include <mutex>

// Returns only when the output is broken (a block could not be written). The
// caller then tears the shared state down. `options` come from the command
// line.
void Mixer(std::mutex& sourceMapLock, SourceMap& sources, const MixerOptions& options);
