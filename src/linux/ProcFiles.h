#pragma once
// Small reads from /proc for the scan. A process may end at any moment
// between listing /proc and reading its files; every reader here then answers
// "nothing", never an error.
//
// Threads: any; no state.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The whole of a small file, or what could be read of it (empty when none).
std::string readSmallFile(const std::string& path);

// What `descriptor` yields until its end or a failed read; nothing once it
// would exceed `limit` bytes. An interrupted read is tried again.
std::optional<std::string> readUpTo(int descriptor, std::size_t limit);

// The base name of the target of a symbolic link such as /proc/<pid>/exe,
// without the " (deleted)" that the kernel adds for a replaced file; empty
// when it cannot be read (another user's process, an ended one).
std::string linkTargetBaseName(const std::string& path);

// What /proc/<pid>/stat says of a process's state and parent; nothing when
// it has gone (or the line is not of the expected form).
struct ProcessStat {
    char state = 0;  // 'R', 'S', ... 'Z' for a zombie
    std::uint32_t parent = 0;
};
std::optional<ProcessStat> readProcessStat(std::uint32_t processId);

// True when the process exists and has not ended: a zombie runs no more.
bool processRuns(std::uint32_t processId);

// /proc/<pid>/comm without its newline: the executed file's base name, cut
// at 15 bytes; empty when the process has gone.
std::string readCommand(std::uint32_t processId);

// Every process id listed in /proc.
std::vector<std::uint32_t> listedProcessIds();
