// The process table's Linux half: every process in /proc, its parent from
// /proc/<pid>/stat and its name from /proc/<pid>/comm.
//
// Threads: the scanning thread, like the table itself.

#include "selection/ProcessTable.h"

#include "linux/DecimalProcessId.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// The whole of a small /proc file, or what could be read of it. Plain reads:
// a process that ends between the listing and the read makes the read fail
// with ESRCH, which a file stream reports by throwing; here it is only an
// empty or short answer, which the callers treat as "gone".
std::string readSmallFile(const std::string& path) {
    std::string content;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return content;
    }
    char buffer[512];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    close(descriptor);
    return content;
}

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
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc) {
        return;
    }
    while (const dirent* entry = readdir(proc.get())) {
        const std::uint32_t pid = decimalProcessId(entry->d_name);
        if (pid == 0) {
            continue;
        }
        const std::string folder = std::string("/proc/") + entry->d_name;
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
