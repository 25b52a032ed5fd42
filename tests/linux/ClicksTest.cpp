// Clicks: a steady tone from a real player (pacat with a 30 ms buffer)
// recorded for 30 s by the program while two busy loops compete for the
// cores, with a parec bound to the same playback stream beside it as the
// control. After the first second of the tone, no block of the program's may
// miss part of it or jump in phase (sound::toneDiscontinuities).
//
// The control keeps the verdict honest. When the player itself runs short
// (starved by the busy loops), both recordings click at the same moment: the
// run says so, and such a click is not the program's. A click in the
// program's stream that the control did not hear within half a second is.

#include "harness/Sound.h"

#include "ProgramProcess.h"
#include "ToneContinuity.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
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

// A stream and when its values arrived.
struct Heard {
    std::vector<float> samples;
    std::vector<std::pair<Clock::time_point, std::size_t>> arrivals;  // values had come by then

    void add(const std::vector<float>& piece) {
        samples.insert(samples.end(), piece.begin(), piece.end());
        arrivals.emplace_back(Clock::now(), samples.size());
    }
    Clock::time_point arrivalOf(std::size_t block) const {
        for (const auto& [moment, values] : arrivals) {
            if (values >= (block + 1) * blockValues) {
                return moment;
            }
        }
        return arrivals.empty() ? Clock::now() : arrivals.back().first;
    }
    // Clicks after the first second of the tone; `onset` set to its first block.
    std::vector<sound::Discontinuity> clicks(std::size_t& onset) const {
        onset = firstBlockWith(samples, tone);
        return sound::toneDiscontinuities(samples, tone.frequency, onset + 100);
    }
};

// parec's raw floats as they come, until `stop`.
void readControl(int fd, Heard& heard, const std::atomic<bool>& stop) {
    std::vector<float> piece(4800);
    std::string part;  // a value split between reads
    pollfd wait{fd, POLLIN, 0};
    while (!stop) {
        if (poll(&wait, 1, 100) != 1) {
            continue;
        }
        char bytes[19200];
        const ssize_t got = read(fd, bytes, sizeof bytes);
        if (got <= 0) {
            return;
        }
        part.append(bytes, static_cast<std::size_t>(got));
        piece.resize(part.size() / sizeof(float));
        std::memcpy(piece.data(), part.data(), piece.size() * sizeof(float));
        part.erase(0, piece.size() * sizeof(float));
        heard.add(piece);
    }
}

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
    for (int loop = 0; loop < 2; ++loop) {
        players.start({"sh", "-c", "while :; do :; done"});
    }
    const pid_t player = players.start({Launch::Direct, tone});
    const long stream = playbackStreamOf(player);
    ASSERT_GE(stream, 0) << "the player's stream never showed";
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    players.start({"parec", "--monitor-stream=" + std::to_string(stream), "--format=float32le", "--rate=48000",
                   "--channels=2", "--latency-msec=10"},
                  -1, ends[1]);
    close(ends[1]);
    Heard control;
    std::atomic<bool> stop{false};
    std::thread controlReader([&] { readControl(ends[0], control, stop); });

    ProgramProcess run({VINTRA_LINUX_PROGRAM, "--pid", std::to_string(player)});
    Heard program;
    if (run.waitReady(20)) {
        while (program.samples.size() < recordedBlocks * blockValues) {
            const std::vector<float> piece = run.read(10, 5);
            if (piece.empty()) {
                break;
            }
            program.add(piece);
        }
    }
    stop = true;
    controlReader.join();
    close(ends[0]);
    EXPECT_EQ(run.finish(10), 0);
    ASSERT_EQ(run.errorText(), "ready\n");
    ASSERT_EQ(program.samples.size(), recordedBlocks * blockValues) << "the stream ended early";

    std::size_t programOnset = 0, controlOnset = 0;
    const std::vector<sound::Discontinuity> programClicks = program.clicks(programOnset),
                                            controlClicks = control.clicks(controlOnset);
    ASSERT_LT(programOnset, 400u) << "the tone came late: too little of it to judge";
    EXPECT_NEAR(heardLevel(program.samples, tone.frequency), tone.level, 0.3 * tone.level);
    EXPECT_NEAR(heardLevel(control.samples, tone.frequency), tone.level, 0.3 * tone.level) << "the control heard nothing";
    std::vector<sound::Discontinuity> programsOwn;
    for (const sound::Discontinuity& click : programClicks) {
        const Clock::time_point moment = program.arrivalOf(click.firstBlock);
        const bool controlHeardIt = std::any_of(controlClicks.begin(), controlClicks.end(), [&](const auto& heard) {
            return std::fabs(std::chrono::duration<double>(control.arrivalOf(heard.firstBlock) - moment).count()) <=
                   sameMoment;
        });
        if (!controlHeardIt) {
            programsOwn.push_back(click);
        }
    }
    if (!controlClicks.empty()) {
        std::cout << "the player itself clicked: the control heard " << controlClicks.size() << describe(controlClicks)
                  << "; clicks of the program's at those moments are not counted against it\n";
    }
    std::cout << "the program: " << programClicks.size() << describe(programClicks) << "\n";
    RecordProperty("programClicks", static_cast<int>(programClicks.size()));
    RecordProperty("controlClicks", static_cast<int>(controlClicks.size()));
    EXPECT_TRUE(programsOwn.empty()) << programsOwn.size() << " clicks that the control did not hear, from block "
                                     << programOnset + 100 << " on:" << describe(programsOwn);
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
            const float value = lost && row.silent ? 0.0f : static_cast<float>(tone.level * std::sin(step * frame));
            if (!lost || row.silent) {
                samples.insert(samples.end(), {value, value});
            }
        }
        const auto found = sound::toneDiscontinuities(samples, tone.frequency, 1);
        EXPECT_EQ(found.size(), row.clicks) << describe(found);
        if (!found.empty()) {
            EXPECT_EQ(found[0].gap, row.silent);
        }
    }
}

}  // namespace
