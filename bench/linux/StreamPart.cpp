// The stream's pace as the parent sees it, with two players throughout.
// The count is taken at a moment of the parent's clock: blocks received
// against 1 + elapsed x 100, elapsed counted from the schedule's origin, the
// earliest (arrival - k x 10 ms) over the run; a block still in the pipe at
// that moment shows as -1. Lateness of block k is its arrival - (origin +
// k x 10 ms): a parent-side proxy that includes the pipe and the reader's
// wake-up, never early. The first second is left out of it, since the first
// blocks wait in the pipe until the parent has seen "ready\n".

#include "Figure.h"
#include "Parts.h"
#include "Processes.h"
#include "RunningProgram.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace linuxbench {

bool streamPart(BenchServer& server, const std::string& scratch, double seconds) {
    if (!server.restart()) {
        return false;
    }
    const std::string group = "Linux program on " + server.kind() + ": stream";
    Child a(pacatArguments(false), toneFile(scratch, 440, 0.25));
    Child b(pacatArguments(false), toneFile(scratch, 660, 0.125));
    RunningProgram running(false);
    if (!running.ready()) {
        measure::note("the program did not say ready: " + running.process.errorText());
        return false;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto countedAt = Clock::now();
    const std::vector<Piece> blocks = running.reader.pieces();
    running.end();
    if (blocks.size() < 200) {
        measure::note("too few blocks: " + std::to_string(blocks.size()));
        return false;
    }
    const auto tick = std::chrono::microseconds(10000);
    auto origin = blocks[0].arrival;
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        origin = std::min(origin, blocks[k].arrival - static_cast<long>(k) * tick);
    }
    // Blocks that had arrived by the count's moment (the reader went on a little).
    const std::size_t received = static_cast<std::size_t>(std::count_if(
        blocks.begin(), blocks.end(), [&](const Piece& block) { return block.arrival <= countedAt; }));
    const double elapsed = std::chrono::duration<double>(countedAt - origin).count();
    std::vector<double> lateMs;
    for (std::size_t k = 100; k < received; ++k) {
        lateMs.push_back(std::chrono::duration<double, std::milli>(blocks[k].arrival - origin - static_cast<long>(k) * tick).count());
    }
    std::sort(lateMs.begin(), lateMs.end());
    auto at = [&](double q) { return lateMs[static_cast<std::size_t>(q * static_cast<double>(lateMs.size() - 1))]; };
    const std::string over = std::to_string(received) + " blocks over " + std::to_string(static_cast<int>(elapsed)) + " s";
    measure::figure(group, "blocks received - (1 + elapsed x 100)",
                    static_cast<double>(received) - (1 + std::floor(elapsed * 100)), "blocks", "within 1", over);
    measure::figure(group, "lateness, median", at(0.5), "ms", "", over + ", from block 100");
    measure::figure(group, "lateness, 99th percentile", at(0.99), "ms", "", over + ", from block 100");
    measure::figure(group, "lateness, maximum", lateMs.back(), "ms", "", over + ", from block 100");
    return true;
}

}  // namespace linuxbench
