#pragma once
// The scanner's picture of the processes that exist: each process's parent id
// and its lower-cased executable file name, from one process snapshot.
//
// Threads: only the thread that runs a scan uses it, and scans never overlap;
// no lock. refresh() needs Windows; everything else is OS-free.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

struct ProcessTable {
    std::map<std::uint32_t, std::uint32_t> parents;
    std::map<std::uint32_t, std::u16string> names;

    // Empties both maps and refills them from a new snapshot; both stay empty
    // when the snapshot cannot be taken. (Windows only.)
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

// Executable-name prefixes of audio routing and effects programs. Capturing
// them would capture, once more, the sound they already route from others.
inline constexpr std::array<std::u16string_view, 10> ignoredNamePrefixes{
    u"steelseries", u"sonar",   u"voicemeeter", u"vbaudio",      u"audiorepeater",
    u"nahimic",     u"fxsound", u"soundswitch", u"equalizerapo", u"peace",
};

// True when the lower-cased `name` begins with one of ignoredNamePrefixes.
// Exact on code units: folding case is record()'s job.
bool isIgnoredName(const std::u16string& name);
