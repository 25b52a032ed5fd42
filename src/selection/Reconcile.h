#pragma once
// Makes a map of sources agree with a wanted set, the last step of a scan,
// without holding up the mixer: the source-map lock is held only to take
// sources out of the map and to put new ones in, never while a source is
// stopped (which joins its worker or waits on the sound server) or opened
// (which may wait seconds for an activation).
//
// A template over the map, the lock, the opener and the stale test so that
// the same code runs natively against fake sources, including under
// ThreadSanitizer. The programs instantiate it with their SourceMap,
// std::mutex, their opener and their test of a source that has ended.
//
// Threads: the scanning thread, which is the only thread that changes the
// map (scans never overlap); the mixer reads it under the same lock. Neither
// `open` nor the destruction of a source runs under the lock.

#include <cstdint>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

// `Map` is an ordered map from id to an owning pointer whose destruction
// stops the source. `open(id)` returns such a pointer, empty when the source
// could not be opened; nothing remembers the failure, so the next scan tries
// again. `stale(id, source)` says whether a source in the map has ended for
// good and must be replaced; it is called under the lock and must not wait.
//
// Every closing comes before every opening, each in ascending id: the
// sources that are not wanted, or stale, are taken out and stopped first, so
// that the system's capture resources are freed before new ones are asked
// for. A stale source that is still wanted is opened again in the same scan.
// A source that is wanted, present and not stale is left as it is. Each
// opened source enters the map as soon as it is open, so that one opening
// that waits long holds back no other source.
template <class Lock, class Map, class Open, class Stale>
void reconcileSources(Lock& sourceMapLock, Map& sources, const std::set<std::uint32_t>& wanted, Open&& open,
                      Stale&& stale) {
    // Room made before the lock is taken: a failed allocation under it would
    // destroy a source that was just taken out while the lock is held.
    std::vector<typename Map::node_type> closing;
    std::vector<std::uint32_t> opening;
    closing.reserve(sources.size());
    opening.reserve(wanted.size());
    {
        std::lock_guard<Lock> held(sourceMapLock);
        for (auto entry = sources.begin(); entry != sources.end();) {
            if (wanted.contains(entry->first) && !stale(entry->first, *entry->second)) {
                ++entry;
            } else {
                closing.push_back(sources.extract(entry++));
            }
        }
        for (std::uint32_t id : wanted) {
            if (!sources.contains(id)) {
                opening.push_back(id);
            }
        }
    }

    // Out of the map already, so the mixer no longer reaches them.
    for (auto& node : closing) {
        node.mapped() = {};
    }

    for (std::uint32_t id : opening) {
        auto source = open(id);
        if (source) {
            std::lock_guard<Lock> held(sourceMapLock);
            sources.emplace(id, std::move(source));
        }
    }
}

// The same where no source ever ends on its own: only what is no longer
// wanted is closed.
template <class Lock, class Map, class Open>
void reconcileSources(Lock& sourceMapLock, Map& sources, const std::set<std::uint32_t>& wanted, Open&& open) {
    reconcileSources(sourceMapLock, sources, wanted, std::forward<Open>(open),
                     [](std::uint32_t, const auto&) { return false; });
}
