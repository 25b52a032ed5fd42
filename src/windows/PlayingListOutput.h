#pragma once
// "--list": what plays now, as one line of JSON on standard output; with
// "--follow", a new line whenever that changes, looked at every 2000 ms as
// the scans of a capture are, until standard input ends or the output breaks.
//
// Threads: the main thread, in the multithreaded apartment, after the probe;
// no capture runs beside it. With follow, the standard-input watch runs too
// and ends the process when the input ends.

// Returns the exit code, 0: after the one line, or once a line could not be
// written. With follow it returns only then.
int listPlaying(bool follow);
