#pragma once
// What both record-wav parents (record-wav.cpp on Windows, record-wav-posix.cpp
// on Linux) share: the stream's shape as a parent reads it, the bounds a
// parent keeps, and the parts of the command line and report that do not
// depend on the system. OS-free; any thread.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace recording {

inline constexpr unsigned blockBytes = 3840;  // 960 float32 values: 10 ms of 48 kHz stereo
inline constexpr int blocksPerSecond = 100;
inline constexpr unsigned long readyBoundMs = 30000;  // the first scan may wait on a slow system
inline constexpr unsigned long exitBoundMs = 5000;

// The number of blocks that `seconds` (a positive number, at most a day) asks for.
inline std::optional<long long> blocksFor(const std::string& seconds) {
    char* end = nullptr;
    const double value = std::strtod(seconds.c_str(), &end);
    if (seconds.empty() || *end != '\0' || !(value > 0) || value > 24 * 3600) {
        return std::nullopt;
    }
    return static_cast<long long>(value * blocksPerSecond + 0.5);
}

// The program's standard error with its line ends visible, for a message.
inline std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    return out;
}

inline void printSummary(long long blocks, const std::string& path, unsigned long exitCode) {
    std::printf("recorded %lld blocks (%.2f s) into %s\n", blocks, blocks / double(blocksPerSecond), path.c_str());
    std::printf("program exit code: %lu\n", exitCode);
}

}  // namespace recording
