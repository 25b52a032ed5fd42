#pragma once
// Reads a stream on a thread of its own, as a parent does, and stamps every
// piece with the steady clock when it arrives: the program's blocks (through
// ProgramProcess), or parec's output for the yardstick.
//
// Threads: the reading thread calls `next` and appends; every member is for
// the owning thread. `mutex` guards `pieces_` and `samples_`.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace linuxbench {

using Clock = std::chrono::steady_clock;

struct Piece {
    Clock::time_point arrival;
    std::size_t firstValue = 0;  // index of its first float in the stream
    std::size_t values = 0;
};

class StreamReader {
public:
    // The next piece of the stream; empty when none came within about 100 ms
    // (or the stream ended).
    using Next = std::function<std::vector<float>()>;

    StreamReader(Next next, bool keepSamples);
    ~StreamReader();  // stop()
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    void stop();  // joins the reading thread; the figures stay
    std::vector<Piece> pieces();
    std::vector<float> samples();  // empty unless kept
    std::size_t values();

private:
    Next next;
    const bool keep;
    std::mutex mutex;
    std::vector<Piece> pieces_;
    std::vector<float> samples_;
    std::size_t total = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

// A Next for a raw descriptor (parec's standard output): float32 values as
// they come, a partial value kept for the next read.
StreamReader::Next rawFloats(int fd);

}  // namespace linuxbench
