#pragma once
// Tells whether the program under test closes the events it registers with
// the fake's audio clients.
//
// For every accepted SetEventHandle the tracker keeps a duplicate of the
// event and the program's own handle value. The program has closed its
// handle once CompareObjectHandles no longer finds the two naming one object
// (a closed value fails; a value reused for another object compares
// unequal). Sweeps run when events are registered, when clients are
// destroyed, periodically from the packet engine, and a last time when the
// process ends; what is still open then counts as open at exit.
//
// Threads: any. One SRW lock guards the table; the final sweep at process end
// only tries it, because a thread killed by ExitProcess may have held it.

#include <windows.h>

namespace fakeplatform {

// Returns a ticket for clientReleased, or -1 when the table is full (the
// event is then simply not tracked).
int trackEvent(HANDLE programHandle);

// The client the ticket's event was registered with has been destroyed: a
// closure seen from now on is in the right order.
void clientReleased(int ticket);

void sweepEvents();

// At process end: one last sweep, then counts what is still open.
void finalEventSweep();

}  // namespace fakeplatform
