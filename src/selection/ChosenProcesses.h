#pragma once
// The repeatable choices of the command line: processes and programs to
// capture, and processes and programs to leave out. Set once at start-up on
// the main thread, read by scans afterwards without a lock.

#include <cstdint>
#include <string>
#include <vector>

struct ChosenProcesses {
    std::vector<std::uint32_t> pids;             // "--pid": each names a running process
    std::vector<std::u16string> programs;        // "--exe", in matching form (ProgramNames.h)
    std::vector<std::uint32_t> exceptPids;       // "--except-pid"
    std::vector<std::u16string> exceptPrograms;  // "--except-exe", in matching form
};
