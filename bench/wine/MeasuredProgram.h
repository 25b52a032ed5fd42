#pragma once
// A measured program seen from its parent: started with three pipes (the
// tests' ChildProcess), its "ready\n" awaited, and its stream read on a
// thread of its own that stamps each whole 3840-byte block with the
// performance counter when the read that completed it returned, and notes
// whether it held any sound (a sample that is not +0).
//
// Threads: the measuring program's main thread calls every method; once
// reading, the reader thread owns the read end of standard output and closes
// it. `mutex` guards the arrival stamps and the sound marks.

#include "ChildProcess.h"
#include "Clock.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace measure {

// Bounds generous enough for a shared, busy 2-core machine under Wine.
inline constexpr DWORD readyBoundMs = 30000;
inline constexpr DWORD exitBoundMs = 10000;

class MeasuredProgram {
public:
    MeasuredProgram(const std::wstring& exe, const std::vector<std::wstring>& args);
    MeasuredProgram(const MeasuredProgram&) = delete;
    MeasuredProgram& operator=(const MeasuredProgram&) = delete;
    // Stops the child (closing its input) and the reader.
    ~MeasuredProgram();

    DWORD processId() const { return child.pid(); }
    // Polls standard error for "ready\n"; notes when it was seen.
    bool waitForReady(DWORD boundMs);
    Ticks readyTime() const { return readyAt; }
    std::string standardError() { return child.error(); }

    void startReading();
    std::size_t blockCount() const;
    bool waitForBlocks(std::size_t count, DWORD boundMs) const;
    std::vector<Ticks> arrivals() const;
    // Whether block k held sound, for every block with a stamp.
    std::vector<bool> soundingBlocks() const;

    void closeInput() { child.closeInput(); }
    long waitForExit(DWORD boundMs) { return child.waitExit(boundMs); }
    // Closes the read end of standard output: the reader does so after the
    // next block (or at the stream's end), so no read is cut off.
    void closeOutput();

private:
    ChildProcess child;
    Ticks readyAt = 0;
    std::thread reader;
    std::atomic<bool> stopReading{false};
    mutable std::mutex mutex;
    std::vector<Ticks> stamps;
    std::vector<bool> sounding;
};

}  // namespace measure
