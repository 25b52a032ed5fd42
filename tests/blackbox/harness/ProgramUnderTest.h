#pragma once
// The shipped exe seen from its parent: started with CreateProcessW and three
// pipes exactly as an embedding application would start it, its "ready\n"
// awaited with a bound, its stream read in whole 3840-byte blocks stamped with
// their arrival time, and stopped by closing standard input or the read end
// of standard output.
//
// Threads: a test's thread calls every method. One reader thread (started by
// startReading) owns the read end of standard output until closeOutput asks it
// to close it; one drain thread reads standard error once "ready\n" has been
// awaited (or given up on). `mutex` guards the block log, the error text and
// the counters both threads fill.

#include "harness/Clock.h"
#include "PlayerProcess.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace blackbox {

inline constexpr std::size_t samplesPerBlock = 960;
inline constexpr std::size_t bytesPerBlock = samplesPerBlock * sizeof(float);

struct ProgramOptions {
    std::wstring exe;
    std::vector<std::wstring> args;
    // Environment changes for the child on top of the parent's: an empty
    // value removes the variable.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
};

class ProgramUnderTest {
public:
    explicit ProgramUnderTest(const ProgramOptions& options);
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;
    // Ends the child if it still runs (TerminateProcess) and joins the threads.
    ~ProgramUnderTest();

    bool started() const { return process != nullptr; }
    DWORD processId() const { return pid; }
    DWORD startError() const { return createError; }

    // Polls both pipes until "ready\n" has arrived on standard error. False at
    // the bound, or when standard error ends first (the child exited).
    bool waitForReady(DWORD boundMs);
    // True when audio bytes were waiting on standard output at a moment when
    // "ready\n" had not yet been written: checked at every poll by looking at
    // standard output first and draining standard error after.
    bool audioBeforeReady() const { return sawAudioBeforeReady; }
    Ticks readyTime() const { return readyAt; }

    // Starts the block reader. Call after waitForReady (or instead of it).
    void startReading();
    std::size_t blockCount() const;
    bool waitForBlocks(std::size_t count, DWORD boundMs) const;
    // Interleaved samples of blocks [first, end).
    std::vector<float> samples(std::size_t first, std::size_t end) const;
    std::vector<Ticks> arrivals() const;
    std::uint64_t bytesRead() const;
    // Every byte read so far, whole blocks and the tail (for a child whose
    // output is text rather than a stream).
    std::string outputBytes() const;
    bool outputEnded() const;

    // Closes the write end of standard input: the parent's stop signal.
    Ticks closeInput();
    // Has the reader close the read end of standard output at once, even
    // while the child writes nothing; returns when it is closed.
    Ticks closeOutput();
    // The exit code, or nothing when the child still runs at the bound. Once
    // it has ended, standardError() holds all it wrote there.
    std::optional<DWORD> waitForExit(DWORD boundMs);
    Ticks exitTime() const { return exitedAt; }

    // Everything that arrived on standard error so far.
    std::string standardError() const;

private:
    void readOutput();
    void drainError();
    void startErrorDrain();
    void appendBytes(const char* data, std::size_t size, Ticks at);

    HANDLE process = nullptr;
    DWORD pid = 0;
    DWORD createError = 0;
    HANDLE inputWrite = nullptr;    // ours until closeInput
    HANDLE outputRead = nullptr;    // overlapped; the reader's once reading
    HANDLE errorRead = nullptr;
    HANDLE stopReading = nullptr;   // manual-reset event: close standard output now
    std::thread reader;
    std::thread errorDrain;
    bool errorDrainStarted = false;
    bool sawAudioBeforeReady = false;
    Ticks readyAt = 0;
    Ticks exitedAt = 0;

    mutable std::mutex mutex;  // guards everything below
    mutable std::condition_variable changed;
    std::vector<float> log;           // whole blocks only
    std::vector<Ticks> blockArrivals;  // one per whole block
    std::vector<char> partial;        // bytes of the block still arriving
    std::uint64_t totalBytes = 0;
    bool ended = false;               // standard output reached its end or was closed
    bool outputClosed = false;
    Ticks outputClosedAt = 0;
    std::string errorText;
};

// Quotes one argument for CommandLineToArgvW-style parsing in the child.
using player::quoteArgument;

// Serialises process creation in this test parent: between CreateProcessW and
// closing the child's pipe ends, no other child may be started, or it would
// inherit those ends and keep the pipes from ever reporting their end.
std::mutex& processCreationLock();

}  // namespace blackbox
