#pragma once
// A Store (UWP) app's window, seen from outside: its top-level window belongs
// to the frame host, ApplicationFrameHost.exe, and the app's own process (no
// descendant of the frame host) owns a Windows.UI.Core.CoreWindow child
// inside it. The sound comes from that process, not from the frame host.
// While the app is minimised its CoreWindow leaves the frame and is
// top-level; it comes back when the app is restored.
// Windows only.
//
// Threads: any, for the two look-ups, which keep no state; a StoreAppFrame
// belongs to one thread at a time (the scanning thread). None of them sends
// window messages, so a window whose thread hangs cannot hold them up.

#include <windows.h>

#include <cstdint>

// A frame that "--window" named, followed from scan to scan: the frame's
// window, the frame host's process, and the app last found inside it (0:
// none yet).
struct StoreAppFrame {
    std::uint64_t window = 0;
    DWORD frameHost = 0;
    DWORD app = 0;
};

// True when process `processId` runs ApplicationFrameHost.exe, the file name
// compared without regard to case. False when the process list cannot be read.
bool runsFrameHost(DWORD processId);

// The process, other than `frameHost`, that owns a Windows.UI.Core.CoreWindow
// among the descendants of `frame`; 0 when there is none (the app suspended)
// or none among the first windows visited (a bound no frame comes near).
DWORD storeAppInside(HWND frame, DWORD frameHost);

// The process whose sound the frame stands for now, remembered in `frame`:
// the app inside it, looked for afresh; else the app found last, since a
// minimised app is still the one the window shows; else the frame host.
DWORD currentStoreApp(StoreAppFrame& frame);
