// The process table's OS-free half: recording entries and the two questions
// the selection rules ask of it.

#include "selection/ProcessTable.h"
#include "selection/IgnoredNames.h"

#include <cwctype>
#include <utility>

namespace {

// A parent chain longer than this is treated as a cycle; it keeps every
// lineage question bounded even when ids were reused into a loop.
constexpr int maxAncestorSteps = 63;

}  // namespace

std::u16string lowerCased(std::u16string name) {
    for (char16_t& unit : name) {
        unit = static_cast<char16_t>(std::towlower(static_cast<std::wint_t>(unit)));
    }
    return name;
}

std::u16string nameFromBytes(std::string_view bytes) {
    std::u16string name;
    for (unsigned char byte : bytes) {
        name.push_back(static_cast<char16_t>(byte));
    }
    return name;
}

std::string bytesOfName(std::u16string_view name) {
    std::string bytes;
    for (char16_t unit : name) {
        bytes.push_back(static_cast<char>(unit));
    }
    return bytes;
}

void ProcessTable::record(std::uint32_t processId, std::uint32_t parentId, std::u16string exeName) {
    parents[processId] = parentId;
    names[processId] = lowerCased(std::move(exeName));
}

bool ProcessTable::lineageContains(std::uint32_t start, std::uint32_t sought) const {
    if (start == 0 || sought == 0) {
        return false;
    }
    std::uint32_t current = start;
    int steps = 0;
    for (;;) {
        if (current == sought) {
            return true;
        }
        auto entry = parents.find(current);
        if (entry == parents.end()) {
            return false;
        }
        std::uint32_t parent = entry->second;
        if (parent == current || steps >= maxAncestorSteps) {
            return false;
        }
        ++steps;
        current = parent;
        if (current == 0) {
            return false;
        }
    }
}

bool isIgnoredName(const std::u16string& name, std::span<const std::u16string_view> prefixes) {
    std::u16string_view view(name);
    for (std::u16string_view prefix : prefixes) {
        if (view.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

bool isIgnoredName(const std::u16string& name) {
    return isIgnoredName(name, ignoredNamePrefixes);
}
