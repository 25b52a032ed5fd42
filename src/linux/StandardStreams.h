#pragma once
// The program's standard streams on Linux: raw samples on standard output,
// or, for --list, lines of text; its three texts on standard error. Each is
// written with write(2) so that nothing waits in a C library buffer and a
// broken pipe shows at once.
//
// Threads: ignoreBrokenPipeSignal() once on the main thread before any other
// thread starts; the standard output's functions from the main thread (the
// mixer, or the list) only; writeStandardError() from the main thread during
// start-up.

#include <cstddef>
#include <string_view>

// A reader that goes away must not kill the program with SIGPIPE: the write
// fails with EPIPE instead, and the program tears down and exits 0.
void ignoreBrokenPipeSignal();

// Writes `count` samples to standard output, looping over partial writes.
// False when the output is broken (any error other than an interruption).
bool writeStandardOutput(const float* samples, std::size_t count);
// The same for text.
bool writeStandardOutput(std::string_view text);

// True once the reader of standard output has gone (a pipe whose read end
// is closed), asked without writing or waiting.
bool standardOutputBroken();

// Writes exactly these bytes to standard error; failures are ignored.
void writeStandardError(std::string_view bytes);
