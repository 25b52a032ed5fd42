// Clicks in what a parent hears: a 1031 Hz tone from pacat (30 ms buffer)
// beside two busy loops, recorded by the program (all-except mode, with the
// given options) and by a parec bound to the same playback stream, the
// yardstick; each stream's discontinuities (sound::toneDiscontinuities)
// after the first second of the tone, per minute. A click of the program's
// within half a second of one of parec's is the player's own: both heard it.

#include "Figure.h"
#include "Parts.h"
#include "Processes.h"
#include "RunningProgram.h"

#include "ToneContinuity.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

namespace linuxbench {

namespace {

constexpr double frequency = 1031;
constexpr std::size_t blockValues = 960;

struct Clicks {
    std::vector<Clock::time_point> moments;  // when each click's first block arrived
    double judgedSeconds = 0;
};

Clicks clicksIn(StreamReader& reader) {
    const std::vector<float> samples = reader.samples();
    const std::vector<Piece> pieces = reader.pieces();
    std::size_t onset = 0;
    while ((onset + 1) * blockValues <= samples.size() &&
           std::all_of(samples.begin() + static_cast<long>(onset * blockValues),
                       samples.begin() + static_cast<long>((onset + 1) * blockValues), [](float v) { return v == 0; })) {
        ++onset;
    }
    Clicks clicks;
    const std::size_t from = onset + 100, blocks = samples.size() / blockValues;
    clicks.judgedSeconds = blocks > from + 1 ? static_cast<double>(blocks - from - 1) / 100 : 0;
    for (const sound::Discontinuity& click : sound::toneDiscontinuities(samples, frequency, from)) {
        const std::size_t value = (click.firstBlock + 1) * blockValues;
        const auto piece = std::find_if(pieces.begin(), pieces.end(),
                                        [&](const Piece& p) { return p.firstValue + p.values >= value; });
        clicks.moments.push_back(piece == pieces.end() ? pieces.back().arrival : piece->arrival);
    }
    return clicks;
}

}  // namespace

bool clicksPart(BenchServer& server, const std::string& scratch, double seconds,
                const std::vector<std::string>& options) {
    if (!server.restart()) {
        return false;
    }
    std::string named;
    for (const std::string& option : options) {
        named += " " + option;
    }
    const std::string group = "Linux program on " + server.kind() + ": clicks" + named;
    const std::vector<std::uint32_t> before = playbackStreams();
    Child busy1({"sh", "-c", "while :; do :; done"}), busy2({"sh", "-c", "while :; do :; done"});
    Child player(pacatArguments(false), toneFile(scratch, frequency, 0.25));
    const long stream = newPlaybackStream(before);
    int ends[2] = {-1, -1};
    if (stream < 0 || pipe2(ends, O_CLOEXEC) != 0) {
        measure::note("the player's stream did not show");
        return false;
    }
    auto parec = std::make_unique<Child>(std::vector<std::string>{"parec", "--monitor-stream=" + std::to_string(stream),
                                                                  "--format=float32le", "--rate=48000",
                                                                  "--channels=2", "--latency-msec=10"},
                                         "", ends[1]);
    close(ends[1]);
    StreamReader yardstick(rawFloats(ends[0]), true);
    RunningProgram running(true, options);
    if (!running.ready()) {
        measure::note("the program did not say ready: " + running.process.errorText());
        return false;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds + 1));
    running.end();
    parec.reset();
    yardstick.stop();
    close(ends[0]);

    const Clicks program = clicksIn(running.reader), control = clicksIn(yardstick);
    if (program.judgedSeconds < seconds / 2 || control.judgedSeconds < seconds / 2) {
        measure::note("too little of the tone was heard to judge");
        return false;
    }
    const std::size_t own = static_cast<std::size_t>(
        std::count_if(program.moments.begin(), program.moments.end(), [&](Clock::time_point moment) {
            return std::none_of(control.moments.begin(), control.moments.end(), [&](Clock::time_point heard) {
                return std::fabs(std::chrono::duration<double>(heard - moment).count()) <= 0.5;
            });
        }));
    auto perMinute = [](std::size_t count, double judged) { return static_cast<double>(count) * 60 / judged; };
    const std::string how = "pacat 30 ms + 2 busy loops, " + std::to_string(static_cast<int>(program.judgedSeconds)) +
                            " s judged after the tone's first second";
    measure::figure(group, "program: discontinuities per minute", perMinute(program.moments.size(), program.judgedSeconds),
                    "/min", "0", how + ", " + std::to_string(program.moments.size()) + " found");
    measure::figure(group, "program: those parec did not hear, per minute", perMinute(own, program.judgedSeconds), "/min",
                    "0", how + ", " + std::to_string(own) + " found");
    measure::figure(group, "yardstick parec: discontinuities per minute",
                    perMinute(control.moments.size(), control.judgedSeconds), "/min", "",
                    how + ", " + std::to_string(control.moments.size()) + " found");
    return true;
}

}  // namespace linuxbench
