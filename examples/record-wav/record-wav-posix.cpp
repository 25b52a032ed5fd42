// record-wav (POSIX): a complete parent of vintra-app-audio on Linux, the
// counterpart of record-wav.cpp on Windows.
//
//   record-wav <seconds> <out.wav> <path-to-vintra-app-audio> [its arguments...]
//
// It does what any application embedding the program does: start it with
// three pipes, wait for "ready\n" on its standard error, read the raw stream
// (float32 LE, 48 kHz stereo, 3840-byte blocks of 10 ms) from its standard
// output, and stop it by closing its standard input (ProgramProcess does the
// POSIX part). The stream is stored as a 32-bit float WAV file.
//
// One thread.

#include "ProgramProcess.h"
#include "Recording.h"
#include "WavFile.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: record-wav <seconds> <out.wav> <path-to-program> [program args...]\n");
        return 64;
    }
    const std::optional<long long> blocksWanted = recording::blocksFor(argv[1]);
    if (!blocksWanted) {
        std::fprintf(stderr, "record-wav: seconds must be a positive number\n");
        return 64;
    }
    sound::WavWriter wav;
    if (!wav.open(argv[2])) {
        std::fprintf(stderr, "record-wav: cannot create %s\n", argv[2]);
        return 66;
    }
    // A program that ends early must not end this parent with it.
    signal(SIGPIPE, SIG_IGN);

    ProgramProcess program(std::vector<std::string>(argv + 3, argv + argc));
    if (program.pid() < 0) {
        std::fprintf(stderr, "record-wav: cannot start %s\n", argv[3]);
        return 69;
    }
    int status = 0;
    long long blocks = 0;
    if (!program.waitReady(recording::readyBoundMs / 1000.0)) {
        std::fprintf(stderr, "record-wav: no \"ready\" from the program; it said: \"%s\"\n",
                     recording::printable(program.errorText()).c_str());
        status = 1;
    } else {
        // Blocks come every 10 ms; seconds without one mean the program stalled.
        while (blocks < *blocksWanted) {
            const std::vector<float> some = program.read(static_cast<std::size_t>(std::min(*blocksWanted - blocks, 100LL)), 5);
            if (some.empty()) {
                break;
            }
            if (!wav.append(some)) {
                std::fprintf(stderr, "record-wav: cannot write the WAV file\n");
                status = 74;
                break;
            }
            blocks += static_cast<long long>(some.size() / ProgramProcess::blockValues);
        }
        if (blocks < *blocksWanted && status == 0) {
            std::fprintf(stderr, "record-wav: the stream ended after %lld blocks\n", blocks);
            status = 1;
        }
    }
    // Closing its standard input is how a parent stops the program.
    const int exitCode = program.finish(recording::exitBoundMs / 1000.0);
    if (exitCode < 0) {
        std::fprintf(stderr, "record-wav: the program did not end within %lu ms; it was killed\n",
                     recording::exitBoundMs);
        status = status != 0 ? status : 1;
    }
    if (!wav.close()) {
        std::fprintf(stderr, "record-wav: cannot finish the WAV file\n");
        status = status != 0 ? status : 74;
    }
    recording::printSummary(blocks, argv[2], static_cast<unsigned long>(exitCode < 0 ? 255 : exitCode));
    return status;
}
