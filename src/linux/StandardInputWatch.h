#pragma once
// The parent stops the program by closing its standard input. The watch reads
// and discards standard input on a detached thread of its own and ends the
// whole process with exit code 0, at once and without teardown, when the
// input ends or cannot be read. The sound server notices the closed
// connection and drops the program's record streams itself.

// Starts the watch thread and detaches it. Main thread, once, at start-up.
void startStandardInputWatch();
