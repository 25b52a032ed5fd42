#include "linux/ProcFiles.h"

#include "linux/DecimalProcessId.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <string_view>

std::optional<std::string> readUpTo(int descriptor, std::size_t limit) {
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return content;
        }
        if (static_cast<std::size_t>(got) > limit - content.size()) {
            return std::nullopt;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string readSmallFile(const std::string& path) {
    // Plain reads: a process that ends mid-read makes the read fail with
    // ESRCH, which a file stream would report by throwing.
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return {};
    }
    std::string content = readUpTo(descriptor, std::numeric_limits<std::size_t>::max()).value_or("");
    close(descriptor);
    return content;
}

std::string linkTargetBaseName(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
        return {};
    }
    std::string_view name(target, static_cast<std::size_t>(length));
    constexpr std::string_view deleted = " (deleted)";
    if (name.ends_with(deleted)) {
        name.remove_suffix(deleted.size());
    }
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    return std::string(name);
}

std::optional<ProcessStat> readProcessStat(std::uint32_t processId) {
    // "pid (comm) state ppid ...": the name may hold spaces and parentheses
    // itself, so the fields are counted from the last ')'.
    const std::string stat = readSmallFile("/proc/" + std::to_string(processId) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    ProcessStat read;
    unsigned long long parent = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %llu", &read.state, &parent) != 2 || parent > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    read.parent = static_cast<std::uint32_t>(parent);
    return read;
}

bool processRuns(std::uint32_t processId) {
    const auto stat = readProcessStat(processId);
    return stat && stat->state != 'Z' && stat->state != 'X';
}

std::string readCommand(std::uint32_t processId) {
    std::string command = readSmallFile("/proc/" + std::to_string(processId) + "/comm");
    if (!command.empty() && command.back() == '\n') {
        command.pop_back();
    }
    return command;
}

std::vector<std::uint32_t> listedProcessIds() {
    std::vector<std::uint32_t> ids;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc) {
        return ids;
    }
    while (const dirent* entry = readdir(proc.get())) {
        if (const std::uint32_t id = decimalProcessId(entry->d_name); id != 0) {
            ids.push_back(id);
        }
    }
    return ids;
}
