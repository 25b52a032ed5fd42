#include "windows/WindowOwner.h"

#include "windows/StoreAppWindow.h"

void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId, StoreAppFrame& frame) {
    const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    DWORD owner = 0;
    // A zero thread id means the handle names no window; then the process id
    // is left as it was. The thread id itself is of no interest.
    if (GetWindowThreadProcessId(window, &owner) == 0) {
        return;
    }
    // A Store app's window is its frame host's; the app plays from the process
    // whose window sits inside. With none there (the app minimised or
    // suspended), the frame host is the target, as any window's owner is,
    // until a scan finds the app.
    frame = {};
    if (runsFrameHost(owner)) {
        frame = {handle, owner, 0};
        processId = currentStoreApp(frame);
    } else {
        processId = owner;
    }
}
