#pragma once
// The scanner's picture of the processes that exist: each process's parent id
// and its lower-cased executable name, from one reading of the process list.
//
// Threads: only the thread that runs a scan uses it, and scans never overlap;
// no lock.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

struct ProcessTable {
    std::map<std::uint32_t, std::uint32_t> parents;
    std::map<std::uint32_t, std::u16string> names;
    // Linux: the base name of each process's executable (its exe link), as
    // it stands, where it can be read; filled only when `withExecutables`
    // is set, since only choosing or listing by program needs it. Windows'
    // `names` are the executables' already, and this stays empty there.
    std::map<std::uint32_t, std::u16string> executables;
    bool withExecutables = false;

    // Empties both maps and refills them from the system's process list; both
    // stay empty when the list cannot be read. Each system's program defines
    // it (src/windows, src/linux); everything else here is OS-free.
    void refresh();

    // Records one snapshot entry: the parent as given, the executable name
    // lower-cased code unit by code unit. A later entry for the same id
    // replaces an earlier one.
    void record(std::uint32_t processId, std::uint32_t parentId, std::u16string exeName);

    // True when `sought` is `start` itself or one of the first 63 ancestors
    // that `parents` records for `start`; always false when either id is 0.
    // Never more than 64 comparisons, whatever cycles `parents` holds.
    bool lineageContains(std::uint32_t start, std::uint32_t sought) const;
};

// `name` lower-cased code unit by code unit, as record() stores names.
std::u16string lowerCased(std::u16string name);

// A name as Linux gives it (bytes, from /proc or a sound server) in the
// table's form: each byte one code unit. The ignored names are ASCII; other
// bytes only need to stay what they are.
std::u16string nameFromBytes(std::string_view bytes);
// The bytes again of a name that nameFromBytes made.
std::string bytesOfName(std::u16string_view name);

// True when the lower-cased `name` begins with one of `prefixes`; the
// one-argument form uses the running system's ignoredNamePrefixes
// (IgnoredNames.h). Exact on code units: folding case is record()'s job.
bool isIgnoredName(const std::u16string& name, std::span<const std::u16string_view> prefixes);
bool isIgnoredName(const std::u16string& name);
