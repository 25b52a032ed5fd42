// How soon a new source gives audio. Two views:
//  - the server's: a record stream bound to a player's stream, opened the
//    moment that stream exists (as the program does on the server's event),
//    timed to its first audio (MonitorProbe), with the program's request and
//    with others, so that what flags and fragment sizes change shows;
//  - the parent's: a player started while the program runs, timed in the
//    program's own stream (blocks) from the player's start to its sound.
// Each on a freshly started server ("fresh sink": its null sink has never
// played) and on one where a 30 ms player has played for 3 s ("busy sink").

#include "Figure.h"
#include "MonitorProbe.h"
#include "Parts.h"
#include "Processes.h"
#include "RunningProgram.h"

#include "SoundAnalysis.h"

#include <algorithm>
#include <memory>
#include <span>
#include <thread>

namespace linuxbench {

namespace {

struct Scenario {
    const char* name;
    bool busySink;           // a 30 ms player plays for 3 s first
    bool defaultBuffer;      // the new player: pacat's default 2 s buffer, else 30 ms
    bool playingBeforehand;  // the new player plays for 3 s before the source opens
};

const Scenario scenarios[] = {
    {"fresh sink, 30 ms player", false, false, false},
    {"fresh sink, 2 s player", false, true, false},
    {"busy sink, new 30 ms player", true, false, false},
    {"busy sink, new 2 s player", true, true, false},
    {"2 s player alone, playing for 3 s", false, true, true},
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

std::string runsText(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        char one[16];
        std::snprintf(one, sizeof one, "%s%.0f", text.empty() ? "" : " ", value);
        text += one;
    }
    return text;
}

// A fresh server set up for `scenario`: the background player, if any, playing.
std::unique_ptr<Child> prepare(BenchServer& server, const std::string& scratch, const Scenario& scenario) {
    server.restart();
    if (!scenario.busySink) {
        return nullptr;
    }
    auto background = std::make_unique<Child>(pacatArguments(false), toneFile(scratch, 880, 0.05));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    return background;
}

double probeOnce(BenchServer& server, const std::string& scratch, const Scenario& scenario, const RecordRequest& request) {
    const auto background = prepare(server, scratch, scenario);
    const std::vector<std::uint32_t> before = playbackStreams();
    Child player(pacatArguments(scenario.defaultBuffer), toneFile(scratch, 440, 0.25));
    const long stream = newPlaybackStream(before);
    if (scenario.playingBeforehand) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }
    return stream < 0 ? -1 : secondsToFirstAudio(static_cast<std::uint32_t>(stream), request, 6) * 1000;
}

// Blocks of the program's stream from a player's start to its sound, in ms.
double programOnce(BenchServer& server, const std::string& scratch, const Scenario& scenario) {
    const auto background = prepare(server, scratch, scenario);
    RunningProgram running(true);
    if (!running.ready()) {
        return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::size_t startedAt = running.reader.values();
    Child player(pacatArguments(scenario.defaultBuffer), toneFile(scratch, 440, 0.25));
    std::this_thread::sleep_for(std::chrono::seconds(4));
    running.end();
    const std::vector<float> samples = running.reader.samples();
    const std::span<const float> after = std::span(samples).subspan(std::min(startedAt, samples.size()));
    const std::size_t onset = sound::toneOnsetFrame(after, 0, 440, 0.125, 960, 480);
    return onset * 2 >= after.size() ? -1 : static_cast<double>(onset) / 48.0;
}

}  // namespace

bool firstAudioPart(BenchServer& server, const std::string& scratch, int runs) {
    const std::string group = "Linux program on " + server.kind() + ": first audio";
    const std::string tries = " (median of " + std::to_string(runs) + "; -1: none within 6 s)";
    std::size_t otherCount = 0;
    const RecordRequest* others = otherRequests(otherCount);
    for (const Scenario& scenario : scenarios) {
        std::vector<const RecordRequest*> requests{&programRequest()};
        // The other requests where the server's share is in question.
        if (!scenario.busySink) {
            for (std::size_t i = 0; i < otherCount; ++i) {
                requests.push_back(&others[i]);
            }
        }
        for (const RecordRequest* request : requests) {
            std::vector<double> ms;
            for (int run = 0; run < runs; ++run) {
                ms.push_back(probeOnce(server, scratch, scenario, *request));
            }
            measure::figure(group, std::string(scenario.name) + ": source opened to audio, " + request->name,
                            median(ms), "ms", "", "own record stream as described" + tries + "; runs: " + runsText(ms));
        }
        if (scenario.playingBeforehand) {
            continue;
        }
        std::vector<double> ms;
        for (int run = 0; run < runs; ++run) {
            ms.push_back(programOnce(server, scratch, scenario));
        }
        measure::figure(group, std::string(scenario.name) + ": player start to sound in the program's stream",
                        median(ms), "ms", scenario.busySink ? "< 500" : "",
                        "stream time (blocks) from the player's start" + tries + "; runs: " + runsText(ms));
    }
    return true;
}

}  // namespace linuxbench
