#include "platform/StandardStreams.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

void setStandardOutputBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}

void writeStandardError(std::string_view bytes) {
    // Straight to the handle: the C runtime's stderr is in text mode and would
    // turn "\n" into "\r\n" on its way to the parent.
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
