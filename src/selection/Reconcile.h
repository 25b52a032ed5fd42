#pragma once
// Makes a map of sources agree with a wanted set: the one step of a scan that
// holds the source-map lock.
//
// A template over the map, the lock and the opener so that the same code runs
// natively against fake sources, including under ThreadSanitizer. The product
// instantiates it with SourceMap, std::mutex and openCaptureSource.
//
// Threads: the scanning thread. The lock is the one that guards `sources`
// everywhere else (the mixer gathers under it); it is held from the first
// lookup to the last insertion, also when an opening throws.

#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

// `Map` is an ordered map from process id to an owning pointer whose
// destruction stops the source. `open(id)` returns such a pointer, empty when
// the source could not be opened; nothing remembers the failure, so the next
// scan tries again.
//
// Every closing comes before every opening, each in ascending id: a source
// that is closed joins its worker, and doing all of that first frees the
// system's capture resources before new ones are asked for. A source whose
// id is wanted and present is neither tested nor reopened.
template <class Lock, class Map, class Open>
void reconcileSources(Lock& sourceMapLock, Map& sources, const std::set<std::uint32_t>& wanted,
                      Open&& open) {
    std::lock_guard<Lock> held(sourceMapLock);

    for (auto entry = sources.begin(); entry != sources.end();) {
        if (wanted.contains(entry->first)) {
            ++entry;
            continue;
        }
        // Out of the map first, so the map never holds a source that is being
        // torn down; the node's end then destroys the source.
        auto node = sources.extract(entry++);
        node.mapped() = {};
    }

    for (std::uint32_t id : wanted) {
        if (sources.contains(id)) {
            continue;
        }
        auto source = open(id);
        if (source) {
            sources.emplace(id, std::move(source));
        }
    }
}
