// From a click in a player to the click in the parent's stream. The player
// is a thread of this process playing through libpulse with a 30 ms buffer,
// 10 ms at a time; a click is 1 ms at 0.5 at the start of a write, and its
// moment is when that write returns (the click is then in the player's
// buffer, as a desktop player's sound is). The program (all-except mode)
// and, as the yardstick, a parec bound to the player's stream record it
// together; each click found in a stream counts from its moment to the
// arrival of the block (parec: the read) that holds it.

#include "Figure.h"
#include "Parts.h"
#include "Processes.h"
#include "RunningProgram.h"

#include <pulse/simple.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

namespace linuxbench {

namespace {

constexpr int writesBetweenClicks = 25;  // 250 ms
constexpr float clickLevel = 0.5f;

// Plays silence with `clicks` clicks; the moments of the clicks.
std::vector<Clock::time_point> playClicks(int clicks, std::atomic<bool>& playing) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 2};
    const std::uint32_t bytes = pa_usec_to_bytes(30000, &format), serverChoice = static_cast<std::uint32_t>(-1);
    const pa_buffer_attr buffer{serverChoice, bytes, serverChoice, serverChoice, serverChoice};
    std::vector<Clock::time_point> moments;
    pa_simple* stream = pa_simple_new(nullptr, "vintra-bench-clicks", PA_STREAM_PLAYBACK, nullptr, "clicks", &format,
                                      nullptr, &buffer, nullptr);
    playing = stream != nullptr;
    std::vector<float> write(960);
    // Two seconds of silence first: the sink settles to the player's latency.
    for (int i = 0; stream != nullptr && static_cast<int>(moments.size()) < clicks; ++i) {
        const bool click = i >= 200 && i % writesBetweenClicks == 0;
        std::fill(write.begin(), write.end(), 0.0f);
        if (click) {
            std::fill(write.begin(), write.begin() + 96, clickLevel);
        }
        if (pa_simple_write(stream, write.data(), write.size() * sizeof(float), nullptr) < 0) {
            break;
        }
        if (click) {
            moments.push_back(Clock::now());
        }
    }
    if (stream != nullptr) {
        // Silence for the last click to come through, then the stream ends.
        std::fill(write.begin(), write.end(), 0.0f);
        for (int i = 0; i < 100 && pa_simple_write(stream, write.data(), write.size() * sizeof(float), nullptr) == 0; ++i) {
        }
        pa_simple_free(stream);
    }
    return moments;
}

// The arrival of each click onset in `reader`'s stream, less the moment of
// the last click before it.
std::vector<double> latenciesMs(StreamReader& reader, const std::vector<Clock::time_point>& moments) {
    const std::vector<float> samples = reader.samples();
    std::vector<double> latencies;
    float previous = 0;
    for (const Piece& piece : reader.pieces()) {
        for (std::size_t i = piece.firstValue; i < piece.firstValue + piece.values; ++i) {
            const bool onset = std::fabs(samples[i]) > clickLevel / 2 && std::fabs(previous) <= clickLevel / 2;
            previous = samples[i];
            if (!onset) {
                continue;
            }
            auto after = std::upper_bound(moments.begin(), moments.end(), piece.arrival);
            if (after != moments.begin()) {
                latencies.push_back(std::chrono::duration<double, std::milli>(piece.arrival - *(after - 1)).count());
            }
        }
    }
    return latencies;
}

void report(const std::string& group, const std::string& who, std::vector<double> latencies, int clicks) {
    std::sort(latencies.begin(), latencies.end());
    const std::string how = std::to_string(latencies.size()) + " of " + std::to_string(clicks) + " clicks found";
    if (latencies.empty()) {
        measure::note(who + ": no click found");
        return;
    }
    auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))]; };
    measure::figure(group, who + ": click to parent, median", at(0.5), "ms", "", how);
    measure::figure(group, who + ": click to parent, 99th percentile", at(0.99), "ms", "", how);
    measure::figure(group, who + ": click to parent, maximum", latencies.back(), "ms", "", how);
}

}  // namespace

bool latencyPart(BenchServer& server, double clicks) {
    if (!server.restart()) {
        return false;
    }
    const std::string group = "Linux program on " + server.kind() + ": latency";
    RunningProgram running(true);
    if (!running.ready()) {
        measure::note("the program did not say ready: " + running.process.errorText());
        return false;
    }
    const std::vector<std::uint32_t> before = playbackStreams();
    std::atomic<bool> playing{false};
    std::vector<Clock::time_point> moments;
    std::thread player([&] { moments = playClicks(static_cast<int>(clicks), playing); });
    const long stream = newPlaybackStream(before);
    int ends[2] = {-1, -1};
    std::unique_ptr<Child> parec;
    std::unique_ptr<StreamReader> yardstick;
    if (stream >= 0 && pipe2(ends, O_CLOEXEC) == 0) {
        parec = std::make_unique<Child>(std::vector<std::string>{"parec", "--monitor-stream=" + std::to_string(stream),
                                                                 "--format=float32le", "--rate=48000", "--channels=2",
                                                                 "--latency-msec=10"},
                                        "", ends[1]);
        close(ends[1]);
        yardstick = std::make_unique<StreamReader>(rawFloats(ends[0]), true);
    }
    player.join();
    running.end();
    parec.reset();
    if (yardstick) {
        yardstick->stop();
        close(ends[0]);
    }
    if (!playing || moments.empty()) {
        measure::note("the click player could not play");
        return false;
    }
    report(group, "program", latenciesMs(running.reader, moments), static_cast<int>(moments.size()));
    if (yardstick) {
        report(group, "yardstick parec --latency-msec=10", latenciesMs(*yardstick, moments),
               static_cast<int>(moments.size()));
    }
    return true;
}

}  // namespace linuxbench
