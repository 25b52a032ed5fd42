#include "selection/ProgramNames.h"

namespace {

// The longest name comm keeps (TASK_COMM_LEN less its terminating zero).
constexpr std::size_t commandLength = 15;
// As the lineage walk: a longer chain is taken for a cycle.
constexpr int maxAncestorSteps = 63;

std::u16string lowered(std::u16string_view name) {
    return lowerCased(std::u16string(name));
}

}  // namespace

std::u16string programKey(std::u16string name) {
    return lowerCased(std::move(name));
}

bool nameIsProgram(std::u16string_view name, std::u16string_view key) {
    const std::u16string folded = lowered(name);
#ifdef _WIN32
    return folded == key || folded == std::u16string(key) + u".exe";
#else
    return !folded.empty() && folded == key;
#endif
}

bool runsProgram(const ProcessTable& table, std::uint32_t processId, std::u16string_view key) {
    const auto name = table.names.find(processId);
#ifdef _WIN32
    return name != table.names.end() && nameIsProgram(name->second, key);
#else
    if (const auto executable = table.executables.find(processId);
        executable != table.executables.end() && nameIsProgram(executable->second, key)) {
        return true;
    }
    // comm is stored lower-cased and cut, so the key is cut alike.
    return name != table.names.end() && !name->second.empty() && name->second == key.substr(0, commandLength);
#endif
}

bool runsAnyProgram(const ProcessTable& table, std::uint32_t processId, std::span<const std::u16string> keys) {
    for (const std::u16string& key : keys) {
        if (runsProgram(table, processId, key)) {
            return true;
        }
    }
    return false;
}

std::u16string programOf(const ProcessTable& table, std::uint32_t processId) {
    if (const auto executable = table.executables.find(processId);
        executable != table.executables.end() && !executable->second.empty()) {
        return executable->second;
    }
    const auto name = table.names.find(processId);
    return name != table.names.end() ? name->second : std::u16string();
}

std::uint32_t applicationProcessOf(const ProcessTable& table, std::uint32_t processId) {
    const std::u16string program = programOf(table, processId);
    std::uint32_t top = processId;
    for (int step = 0; !program.empty() && step < maxAncestorSteps; ++step) {
        const auto parent = table.parents.find(top);
        if (parent == table.parents.end() || parent->second == 0 || parent->second == top ||
            parent->second == processId || programOf(table, parent->second) != program) {
            break;
        }
        top = parent->second;
    }
    return top;
}
