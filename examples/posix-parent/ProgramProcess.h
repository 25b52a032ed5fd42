#pragma once
// A POSIX parent's side of vintra-app-audio: the program started with three
// pipes, its "ready\n" awaited, its stream read in whole 3840-byte blocks,
// and its end brought about by closing standard input, every wait bounded.
// record-wav (POSIX), the Linux tests and the Linux benchmarks all start the
// program through it.
//
// The parent may read when it wants: a program whose output pipe is full
// waits and then makes up the blocks it owes, so the blocks read count the
// stream's own time, once the pipe has been drained at the moment of interest.
//
// Threads: one thread owns an object and makes every call; a second thread
// may make read() its only call, since read() uses nothing but the output
// descriptor, which no other call touches except closeOutput().

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

class ProgramProcess {
public:
    static constexpr std::size_t blockValues = 960;  // 10 ms of 48 kHz stereo float32

    // Starts argv[0] (a path) with argv. pid() is -1 when it could not start.
    explicit ProgramProcess(const std::vector<std::string>& argv);
    ~ProgramProcess();  // kills and reaps a program that still runs
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    pid_t pid() const { return child; }
    // True once "ready\n" has come, within `seconds`.
    bool waitReady(double seconds);
    // What the program wrote on standard error so far (all of it once it ended).
    std::string errorText();
    // Up to `blocks` further whole blocks, read for at most `seconds` (and up
    // to 1 s more to complete a block begun); read(SIZE_MAX, 0) drains what
    // the pipe holds now. Fewer when the stream ended.
    std::vector<float> read(std::size_t blocks, double seconds);
    // The next line of a program that prints lines (--list), without its
    // "\n", read for at most `seconds`; empty when no whole line came (what
    // came of it waits for the next call). Not to be mixed with read().
    std::string readLine(double seconds);
    void closeInput();
    void closeOutput();
    // Waits at most `seconds` for the end: the exit code (128 + the signal
    // that ended it), or -1 when it still ran; it is then killed.
    int waitExit(double seconds);
    // As a parent ends it: standard input closed, then waitExit.
    int finish(double seconds);

private:
    pid_t child = -1;
    bool reaped = true;  // until a child runs
    int input = -1, output = -1, error = -1;
    std::string errors;
    std::string partLine;  // the start of a line that readLine() has not finished
};
