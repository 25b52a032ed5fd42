// The process table's Linux half: every process in /proc, its parent from
// /proc/<pid>/stat and its name from /proc/<pid>/comm.
//
// Threads: the scanning thread, like the table itself.

#include "selection/ProcessTable.h"

#include "linux/ProcFiles.h"

#include <cstdio>
#include <string>

namespace {

// The parent id from a stat line "pid (comm) state ppid ...". The name may
// hold spaces and parentheses itself, so the fields are counted from the last
// ')'. False when the line is not of that form (the process has just ended).
bool parentFromStat(const std::string& stat, std::uint32_t& parent) {
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    char state = 0;
    unsigned long long value = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %llu", &state, &value) != 2 ||
        value > 0xFFFFFFFFull) {
        return false;
    }
    parent = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

void ProcessTable::refresh() {
    parents.clear();
    names.clear();
    for (const std::uint32_t pid : listedProcessIds()) {
        const std::string folder = "/proc/" + std::to_string(pid);
        std::uint32_t parent = 0;
        if (!parentFromStat(readSmallFile(folder + "/stat"), parent)) {
            continue;
        }
        std::string comm = readSmallFile(folder + "/comm");
        if (!comm.empty() && comm.back() == '\n') {
            comm.pop_back();
        }
        // Bytes as code units: the ignored names are ASCII, and record()
        // lower-cases them.
        std::u16string name;
        for (unsigned char byte : comm) {
            name.push_back(static_cast<char16_t>(byte));
        }
        record(pid, parent, std::move(name));
    }
}
