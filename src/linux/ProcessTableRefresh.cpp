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
        record(pid, stat->parent, nameFromBytes(readCommand(pid)));
    }
}
