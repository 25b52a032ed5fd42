#pragma once
// "Which process owns this window?" on X11, in the shape the command-line
// rules take it (a WindowOwnerLookup), with a bound on the X server's answer.
//
// libxcb has no time-outs, and xcb_connect alone blocks until the server
// sends its set-up: a server that takes the connection and never answers
// would hang start-up. So the question (WindowOwnerQuery.h) is asked in a
// short-lived child process that hands the answer over a pipe; the program
// waits for it for a bounded time, then kills and reaps the child whatever
// happened, so the child never outlives the look-up. A process rather than a
// thread: a thread stuck inside xcb_connect cannot be unblocked (its socket
// is out of reach until xcb_connect returns) nor ended, and connecting by
// hand to get at the socket would mean redoing libxcb's display and
// authorization handling.
//
// Threads: the main thread only, while it is the program's only thread (the
// child runs libxcb after fork, which is sound only in a single-threaded
// process). main() calls it while parsing the command line, before any other
// thread starts.

#include <cstdint>

// Stores the pid of the process that made window `handle` into `processId`;
// leaves it untouched when there is no display, no such window, no answer
// within the bound, or no process named.
void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId);
