#pragma once
// Every live record source, by the index of the playback stream it records,
// in ascending order. Guarded by the source-map lock that the main flow owns
// beside it: the scanner inserts and removes entries, the mixer iterates,
// always with that lock held. Destroying an entry disconnects its stream.

#include "linux/RecordSource.h"

#include <cstdint>
#include <map>
#include <memory>

using SourceMap = std::map<std::uint32_t, std::unique_ptr<RecordSource>>;
