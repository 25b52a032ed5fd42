#pragma once
// Every live capture source, by process id in ascending order. Guarded by the
// source-map lock that the main flow owns beside it: the scanner inserts and
// removes entries, the mixer iterates, always with that lock held. Destroying
// an entry destroys (and so stops) its source.

#include "windows/CaptureSource.h"

#include <cstdint>
#include <map>
#include <memory>

using SourceMap = std::map<std::uint32_t, std::unique_ptr<CaptureSource>>;
