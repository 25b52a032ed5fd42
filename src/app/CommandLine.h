#pragma once
// The command line's selection values and the rules that set them.
//
// OS-free: the window-handle lookup and the question whether a process runs
// are passed in, so the rules also build and run natively. Called once, on
// the main thread, before any other thread.

#include "selection/ChosenProcesses.h"

#include <cstdint>
#include <functional>

struct SelectionValues {
    bool allExcept = false;      // "--all-except" or an exclusion seen: capture all but some
    std::uint32_t selfPid = 0;   // "--self" / "--all-except": the caller, or the excluded process
    std::uint32_t targetPid = 0; // "--window": the process owning the window
    ChosenProcesses chosen;
    bool list = false;           // "--list": print what plays, capture nothing
    bool follow = false;         // "--follow": with --list, go on printing each change
    bool rateMatch = false;      // "--rate-match": lock every source's clock to the block clock (MixerOptions.h)
};

// Stores the id of the process that owns window `handle` into `processId`, or
// leaves it untouched when the handle names no window.
using WindowOwnerLookup = std::function<void(std::uint64_t handle, std::uint32_t& processId)>;
// True when a process with this id runs now. Empty: every id but 0 counts.
using ProcessRunsCheck = std::function<bool(std::uint32_t processId)>;

// Options that take a value are looked for at every position but the first
// and the last, one step at a time, so a value that spells an option acts as
// that option too; the flags count wherever they stand.
SelectionValues parseCommandLine(int argc, const wchar_t* const* argv, const WindowOwnerLookup& windowOwner,
                                 const ProcessRunsCheck& processRuns = {});

// The value conversions, with the C library's base-10 rules: leading white
// space and one sign, digits up to the first non-digit, 0 without digits,
// saturation on overflow, and a minus that negates modulo 2^32 (2^64).
std::uint32_t convertProcessId(const wchar_t* text);
std::uint64_t convertWindowHandle(const wchar_t* text);

// Exactly the 76 bytes written on standard error when there is no target.
inline constexpr char usageLine[] =
    "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n";
static_assert(sizeof(usageLine) - 1 == 76);

// True when start-up goes on past the usage check: a list is asked for, or
// all-except mode, or a window's process, a running --pid or any --exe name
// (a program that nothing runs yet is heard once it plays).
inline bool hasTarget(const SelectionValues& values) {
    return values.list || values.allExcept || values.targetPid != 0 || !values.chosen.pids.empty() ||
           !values.chosen.programs.empty();
}
