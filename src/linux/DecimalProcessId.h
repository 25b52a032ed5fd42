#pragma once
// Reading a process id written in decimal, as /proc's folder names and the
// sound server's application.process.id property carry it. OS-free text
// handling, shared by the two Linux readers.

#include <cstdint>
#include <cstdlib>

// The number when `text` is all decimal digits and fits in 32 bits; 0 (no
// process) for anything else, null included.
inline std::uint32_t decimalProcessId(const char* text) {
    if (text == nullptr || text[0] < '0' || text[0] > '9') {
        return 0;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return *end == '\0' && value <= 0xFFFFFFFFull ? static_cast<std::uint32_t>(value) : 0;
}
