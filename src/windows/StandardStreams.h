#pragma once
// The program's standard streams: raw samples (or the list of what plays) on
// standard output, its three texts on standard error. Both kept clear of the C runtime's text mode, so
// that the parent receives exactly the bytes the program means.
//
// Threads: setStandardOutputBinary() once on the main thread before anything
// is written; writeStandardOutput() and writeStandardOutputText() from the
// main thread (the mixer, or the list) only; writeStandardError() from the main thread during start-up.

#include <cstddef>
#include <string_view>

// Standard output carries raw samples: no newline translation.
void setStandardOutputBinary();

// Writes `count` samples to standard output as one write and flushes them to
// the reader. False when the output is broken: fewer samples were written, or
// the flush or the stream failed.
bool writeStandardOutput(const float* samples, std::size_t count);

// Writes text (the list of what plays) to standard output, straight to the
// handle and whole. False when the output is broken. Not to be mixed with
// writeStandardOutput(), whose bytes go through the C runtime's buffer.
bool writeStandardOutputText(std::string_view text);

// One write of exactly these bytes to standard error; failures are ignored.
void writeStandardError(std::string_view bytes);
