// The process table's Linux half: every process in /proc, its parent from
// /proc/<pid>/stat and its name from /proc/<pid>/comm.
//
// Threads: the scanning thread, like the table itself.

#include "selection/ProcessTable.h"

#include "linux/ProcFiles.h"

#include <string>

void ProcessTable::refresh() {
    parents.clear();
    names.clear();
    for (const std::uint32_t pid : listedProcessIds()) {
        const auto stat = readProcessStat(pid);
        if (!stat) {
            continue;
        }
        const std::string comm = readCommand(pid);
        // Bytes as code units: the ignored names are ASCII, and record()
        // lower-cases them.
        std::u16string name;
        for (unsigned char byte : comm) {
            name.push_back(static_cast<char16_t>(byte));
        }
        record(pid, stat->parent, std::move(name));
    }
}
