#pragma once
// The scanner's picture of the processes that exist: each process's parent id
// and its lower-cased executable file name, from one process snapshot.
//
// Threads: only the thread that runs a scan uses it, and scans never overlap;
// no lock. refresh() needs Windows; the queries are OS-free.

#include <cstdint>
#include <map>
#include <string>

struct ProcessTable {
    std::map<std::uint32_t, std::uint32_t> parents;
    std::map<std::uint32_t, std::u16string> names;

    // Empties both maps and refills them from a new snapshot; both stay empty
    // when the snapshot cannot be taken. (Windows only.)
    void refresh();

    // True when `sought` is `start` itself or one of the first 63 ancestors
    // that `parents` records for `start`; always false when either id is 0.
    bool lineageContains(std::uint32_t start, std::uint32_t sought) const;
};

// True when the lower-cased `name` begins with one of the prefixes of audio
// routing and effects programs, which are never captured.
bool isIgnoredName(const std::u16string& name);
