#pragma once
// The clock of the fake audio engine: one thread for all started clients of
// the process, which wakes when the next packet of any of them is due (on the
// performance counter, to the millisecond), lets each queue what it owes and
// sweeps the event tracker now and then. One thread rather than one per
// client keeps the fake's own cost small inside the program under test.
//
// Threads: addClient and removeClient from any thread; they take the engine
// lock, which the engine holds while it pumps. removeClient returns only when
// the engine no longer touches the client. The thread is started at the first
// addClient and runs until the process ends.

namespace fakeplatform {

class LoopbackClient;

void addClient(LoopbackClient* client);
void removeClient(LoopbackClient* client);

}  // namespace fakeplatform
