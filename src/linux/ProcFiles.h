#pragma once
// Small reads from /proc for the scan. A process may end at any moment
// between listing /proc and reading its files; every reader here then answers
// "nothing", never an error.
//
// Threads: any; no state.

#include <cstdint>
#include <string>
#include <vector>

// The whole of a small file, or what could be read of it (empty when none).
std::string readSmallFile(const std::string& path);

// The base name of the target of a symbolic link such as /proc/<pid>/exe,
// without the " (deleted)" that the kernel adds for a replaced file; empty
// when it cannot be read (another user's process, an ended one).
std::string linkTargetBaseName(const std::string& path);

// Every process id listed in /proc.
std::vector<std::uint32_t> listedProcessIds();
