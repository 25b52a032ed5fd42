#pragma once
// A Store (UWP) app's window, seen from outside: its top-level window belongs
// to the frame host, ApplicationFrameHost.exe, and the app's own process (no
// descendant of the frame host) owns a Windows.UI.Core.CoreWindow child
// inside it. The sound comes from that process, not from the frame host.
// Windows only.
//
// Threads: any; it keeps no state. It sends no window messages, so a window
// whose thread hangs cannot hold it up.

#include <windows.h>

// True when process `processId` runs ApplicationFrameHost.exe, the file name
// compared without regard to case. False when the process list cannot be read.
bool runsFrameHost(DWORD processId);

// The process, other than `frameHost`, that owns a Windows.UI.Core.CoreWindow
// among the descendants of `frame`; 0 when there is none (the app suspended)
// or none among the first windows visited (a bound no frame comes near).
DWORD storeAppInside(HWND frame, DWORD frameHost);
