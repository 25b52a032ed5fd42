#include "windows/WindowOwner.h"

#include <windows.h>

void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId) {
    DWORD owner = 0;
    // A zero thread id means the handle names no window; then the process id
    // is left as it was. The thread id itself is of no interest.
    if (GetWindowThreadProcessId(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle)), &owner) != 0) {
        processId = owner;
    }
}
