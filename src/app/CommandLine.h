#pragma once
// The command line's three selection values and the rules that set them.
//
// OS-free: the window-handle lookup is passed in, so the rules also build and
// run natively. Called once, on the main thread, before any other thread.

#include <cstdint>
#include <functional>

struct SelectionValues {
    bool allExcept = false;      // "--all-except" seen: capture all but one
    std::uint32_t selfPid = 0;   // "--self" / "--all-except": the caller, or the excluded process
    std::uint32_t targetPid = 0; // "--window": the process owning the window
};

// Stores the id of the process that owns window `handle` into `processId`, or
// leaves it untouched when the handle names no window.
using WindowOwnerLookup = std::function<void(std::uint64_t handle, std::uint32_t& processId)>;

SelectionValues parseCommandLine(int argc, const wchar_t* const* argv, const WindowOwnerLookup& windowOwner);

// The value conversions, with the C library's base-10 rules: leading white
// space and one sign, digits up to the first non-digit, 0 without digits,
// saturation on overflow, and a minus that negates modulo 2^32 (2^64).
std::uint32_t convertProcessId(const wchar_t* text);
std::uint64_t convertWindowHandle(const wchar_t* text);

// Exactly the 76 bytes written on standard error when there is no target.
inline constexpr char usageLine[] =
    "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n";
static_assert(sizeof(usageLine) - 1 == 76);

// True when start-up goes on past the usage check.
inline bool hasTarget(const SelectionValues& values) {
    return values.allExcept || values.targetPid != 0;
}
