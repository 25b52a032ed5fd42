// Clicks: a steady tone from a real player (pacat with a 30 ms buffer)
// recorded for 30 s by the program while two busy loops compete for the
// cores, with a parec bound to the same playback stream beside it as the
// control. After the first second of the tone, no block of the program's may
// miss part of it or jump in phase (sound::toneDiscontinuities).
//
// The control keeps the verdict honest. The busy loops starve the player at
// times: its stream runs dry on the server, and a recording of it clicks.
// Such a click, and one at a moment when the server sent nothing to anyone
// for longer than the program can bridge, is not the program's; the run
// says so. Within half a second of a click of the program's, the control
// looks for: a click in parec's recording, pacat's own report of an
// underrun, or a wait of parec's for its next piece beyond 50 ms; and the
// machine itself, for a thread of the program's or the server's that waited
// 20 ms or more for a core while it could run (the cushion the program
// starts with). A click that none of these explains is the program's.

#include "harness/RunQueueWaits.h"
#include "harness/Sound.h"

#include "ProgramProcess.h"
#include "ToneContinuity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr Tone tone{1031, 0.25};
constexpr std::size_t recordedBlocks = 3000;  // 30 s
constexpr std::size_t blockValues = ProgramProcess::blockValues;
constexpr double sameMoment = 0.5;  // s: the control heard it too
// The cushion the program starts a source with: a thread held off a core
// for as long leaves the source's FIFO short.
constexpr double cushionMs = 20;

// A stream and when its blocks arrived.
struct Heard {
    std::vector<float> samples;
    std::vector<Clock::time_point> arrivals;  // of each block

    void add(const std::vector<float>& block) {
        samples.insert(samples.end(), block.begin(), block.end());
        arrivals.push_back(Clock::now());
    }
    // Clicks after the first second of the tone; `onset` set to its first block.
    std::vector<sound::Discontinuity> clicks(std::size_t& onset) const {
        onset = firstBlockWith(samples, tone);
        return sound::toneDiscontinuities(samples, tone.frequency, onset + 100);
    }
};

// A shell command run through ProgramProcess (which takes a path), its pid the command's.
ProgramProcess command(const std::string& line) {
    return ProgramProcess({"/bin/sh", "-c", "exec " + line});
}

// The control: parec on the same playback stream, the player's own word
// (pacat -v says "Stream underrun." when its stream ran dry on the server),
// and the run-queue waits of the program's and the server's threads.
struct Control {
    Heard parec;
    std::vector<Clock::time_point> underruns;

    // Why a click of the program's at `moment` is not the program's; empty when it is.
    std::string excuse(Clock::time_point moment, RunQueueWaits& waits) const {
        auto near = [&](Clock::time_point other) {
            return std::fabs(std::chrono::duration<double>(other - moment).count()) <= sameMoment;
        };
        std::size_t clickOnset = 0;
        for (const sound::Discontinuity& heard : parec.clicks(clickOnset)) {
            if (near(parec.arrivals[heard.firstBlock])) return "parec heard it too";
        }
        if (std::any_of(underruns.begin(), underruns.end(), near)) return "the player reported an underrun";
        // The server sent nothing, to anyone, for longer than the program's
        // largest cushion (40 ms) and a block.
        for (std::size_t i = 1; i < parec.arrivals.size(); ++i) {
            const auto waited = parec.arrivals[i] - parec.arrivals[i - 1];
            if (near(parec.arrivals[i]) && waited > std::chrono::milliseconds(50)) {
                return "parec got nothing for " +
                       std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()) + " ms";
            }
        }
        if (const double waited = waits.longestNear(moment); waited >= cushionMs) {
            return "a thread of the program's or the server's waited " + std::to_string(waited) +
                   " ms for a core within 50 ms";
        }
        return "";
    }
};

std::string describe(const std::vector<sound::Discontinuity>& clicks) {
    std::ostringstream text;
    for (const sound::Discontinuity& click : clicks) {
        text << " [block " << click.firstBlock << ", " << click.blocks << " blocks, residual " << click.residual
             << (click.gap ? ", a gap" : "") << "]";
    }
    return text.str();
}

TEST(Clicks, APlayersToneBesideBusyLoopsIsContinuousAfterItsFirstSecond) {
    Players players;
    for (int loop = 0; loop < 2; ++loop) players.start({"sh", "-c", "while :; do :; done"});
    ProgramProcess pacat = command("pacat -v --playback --latency-msec=30 --format=s16le --rate=48000 "
                                   "--channels=2 < '" + toneSamples(tone) + "'");
    const long stream = playbackStreamOf(pacat.pid());
    ProgramProcess parec = command("parec --monitor-stream=" + std::to_string(stream) +
                                   " --format=float32le --rate=48000 --channels=2 --latency-msec=10");
    Control control;
    std::thread parecReader([&] {
        for (std::vector<float> block; !(block = parec.read(1, 60)).empty();) control.parec.add(block);
    });
    std::atomic<bool> stop{false};
    std::thread playerWatch([&] {  // pacat's standard error, for this thread alone until it is joined
        for (std::size_t seen = 0, at = 0; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
            for (const std::string said = pacat.errorText(); (at = said.find("underrun", seen)) != std::string::npos;
                 seen = at + 8) {
                control.underruns.push_back(Clock::now());
            }
        }
    });

    ProgramProcess run({VINTRA_LINUX_PROGRAM, "--pid", std::to_string(pacat.pid())});
    // The program and the server's daemons, which scripts/sound-server lists
    // beside the cookie.
    std::vector<pid_t> watched{run.pid()};
    if (const char* cookie = std::getenv("PULSE_COOKIE")) {
        std::ifstream daemons(std::filesystem::path(cookie).parent_path() / "pids");
        for (pid_t pid = 0; daemons >> pid; daemons.ignore(256, '\n')) watched.push_back(pid);
    }
    RunQueueWaits waits(watched);
    Heard program;
    if (stream >= 0 && run.waitReady(20)) {
        for (std::vector<float> block; program.samples.size() < recordedBlocks * blockValues &&
                                       !(block = run.read(1, 5)).empty();) program.add(block);
    }
    stop = true;
    waits.end();
    parec.waitExit(0);  // its stream ends with it
    parecReader.join();
    playerWatch.join();
    ASSERT_GE(stream, 0) << "the player's stream never showed";
    EXPECT_EQ(run.finish(10), 0);
    ASSERT_EQ(run.errorText(), "ready\n");
    ASSERT_EQ(program.samples.size(), recordedBlocks * blockValues) << "the stream ended early";

    std::size_t onset = 0, controlOnset = 0;
    const std::vector<sound::Discontinuity> clicks = program.clicks(onset),
                                            controlClicks = control.parec.clicks(controlOnset);
    ASSERT_LT(onset, 400u) << "the tone came late: too little of it to judge";
    EXPECT_NEAR(heardLevel(program.samples, tone.frequency), tone.level, 0.3 * tone.level);
    EXPECT_NEAR(heardLevel(control.parec.samples, tone.frequency), tone.level, 0.3 * tone.level)
        << "the control heard nothing";
    std::vector<sound::Discontinuity> programsOwn;
    for (const sound::Discontinuity& click : clicks) {
        const std::string excuse = control.excuse(program.arrivals[click.firstBlock], waits);
        if (excuse.empty()) {
            programsOwn.push_back(click);
        } else {
            std::cout << "not the program's: the click at block " << click.firstBlock << ": " << excuse << "\n";
        }
    }
    std::cout << "the player ran short " << control.underruns.size() << " times; parec heard " << controlClicks.size()
              << " clicks:" << describe(controlClicks) << "\n";
    RecordProperty("programClicks", static_cast<int>(clicks.size()));
    RecordProperty("programsOwnClicks", static_cast<int>(programsOwn.size()));
    RecordProperty("controlClicks", static_cast<int>(controlClicks.size()));
    EXPECT_TRUE(programsOwn.empty()) << programsOwn.size() << " clicks of the program's own, from block " << onset + 100
                                     << " on:" << describe(programsOwn);
}

TEST(Clicks, RateMatchIsAcceptedAndHeard) {
    Players players;
    const pid_t player = players.start({Launch::Direct, tone});
    ProgramProcess run({VINTRA_LINUX_PROGRAM, "--pid", std::to_string(player), "--rate-match"});
    ASSERT_TRUE(run.waitReady(20)) << run.errorText();
    const std::vector<float> stream = run.read(400, 14);
    EXPECT_EQ(run.finish(10), 0);
    EXPECT_EQ(run.errorText(), "ready\n");
    EXPECT_NEAR(heardLevel(stream, tone.frequency), tone.level, 0.3 * tone.level);
    EXPECT_NEAR(heardLevel(stream, tone.frequency, 1), tone.level, 0.3 * tone.level);
}

// The finder itself, on tones made here: what it must see and what it must
// let pass. Frames are counted from the start of a 3 s tone.
TEST(Clicks, TheFinderSeesEveryKindOfClickAndNoDrift) {
    struct Case {
        const char* name;
        double ppm;             // the tone's frequency off by so much
        std::size_t at, lost;   // frames lost from `at`: dropped, or silent
        bool silent;
        std::size_t clicks;
    };
    const Case cases[] = {
        {"a steady tone", 0, 0, 0, false, 0},           {"3000 ppm fast", 3000, 0, 0, false, 0},
        {"3000 ppm slow", -3000, 0, 0, false, 0},       {"one frame dropped", 0, 72123, 1, false, 1},
        {"a 10 ms packet dropped", 0, 96000, 480, false, 1}, {"3 ms silent", 0, 100000, 144, true, 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<float> samples;
        const double step = 2 * std::numbers::pi * tone.frequency * (1 + row.ppm * 1e-6) / 48000;
        for (std::size_t frame = 0; samples.size() < 300 * blockValues; ++frame) {
            const bool lost = frame >= row.at && frame < row.at + row.lost;
            const float value = lost ? 0.0f : static_cast<float>(tone.level * std::sin(step * frame));
            if (!lost || row.silent) samples.insert(samples.end(), {value, value});
        }
        const auto found = sound::toneDiscontinuities(samples, tone.frequency, 1);
        EXPECT_EQ(found.size(), row.clicks) << describe(found);
        if (!found.empty()) {
            EXPECT_EQ(found[0].gap, row.silent);
        }
    }
}

}  // namespace
