// The process table's Linux half: every process in /proc, its parent from
// /proc/<pid>/stat, its name from /proc/<pid>/comm and, when the table asks
// for them, its executable's base name from the /proc/<pid>/exe link.
//
// Threads: the scanning thread, like the table itself.

#include "selection/ProcessTable.h"

#include "linux/ProcFiles.h"

#include <string>

void ProcessTable::refresh() {
    parents.clear();
    names.clear();
    executables.clear();
    for (const std::uint32_t pid : listedProcessIds()) {
        const auto stat = readProcessStat(pid);
        if (!stat) {
            continue;
        }
        record(pid, stat->parent, nameFromBytes(readCommand(pid)));
        if (withExecutables) {
            // Unreadable for another user's processes: comm stands for them.
            if (const std::string executable = linkTargetBaseName("/proc/" + std::to_string(pid) + "/exe");
                !executable.empty()) {
                executables[pid] = nameFromBytes(executable);
            }
        }
    }
}
