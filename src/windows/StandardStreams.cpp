#include "windows/StandardStreams.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

void setStandardOutputBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}

bool writeStandardOutput(const float* samples, std::size_t count) {
    if (std::fwrite(samples, sizeof(float), count, stdout) < count) {
        return false;
    }
    // Once the reader has closed its end, the MinGW runtime's fwrite still
    // reports every item stored (they only reach its buffer); the broken pipe
    // shows in the flush and in the stream's error flag. Looking at the write
    // alone would leave the program writing into a dead pipe for ever.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

bool writeStandardOutputText(std::string_view text) {
    // Straight to the handle: a write into a pipe whose reader has gone fails
    // at once here, where the C runtime's stream would take the bytes into
    // its buffer and report success.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

void writeStandardError(std::string_view bytes) {
    // Straight to the handle: the C runtime's stderr is in text mode and would
    // turn "\n" into "\r\n" on its way to the parent.
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
