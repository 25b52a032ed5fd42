// The stream as a parent reads it: "ready\n" before any audio, whole blocks
// of 3840 bytes, every value within [-1, +1], and 100 blocks per second of
// the clock in the long run, also when scans hold the stream up for a while
// (the blocks owed come back to back afterwards; none is skipped).
//
// Pace is judged by Pace.h's on-time blocks, never by a tight wall-clock
// bound: the figures are printed as they are seen.

#include "harness/BlackboxTest.h"
#include "harness/Pace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace blackbox {
namespace {

constexpr long quarter = 8192;
constexpr std::size_t stretch = 100;  // blocks searched for an on-time one

std::vector<double> arrivalSeconds(const ProgramUnderTest& program) {
    auto ticks = program.arrivals();
    std::vector<double> seconds(ticks.size());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        seconds[i] = secondsBetween(ticks.front(), ticks[i]);
    }
    return seconds;
}

void printPace(const char* what, const PaceFigures& pace) {
    std::printf("[ figure ] %s: blocks %zu..%zu, %.3f s apart, drift %+.2f blocks\n", what, pace.fromBlock,
                pace.toBlock, pace.secondsElapsed, pace.driftBlocks);
}

class Stream : public BlackboxTest {};

TEST_F(Stream, ReadyComesFirstThenWholeBlocksInRangeAtOneHundredPerSecond) {
    startPlayer({.frequency = 440, .level = 24576});
    startPlayer({.frequency = 660, .level = 24576, .endpoints = 2});  // sums past full scale
    auto program = startProgram({L"--all-except", L"0"});
    ASSERT_TRUE(program->waitForReady(readyBoundMs));
    EXPECT_FALSE(program->audioBeforeReady()) << "audio bytes came before \"ready\\n\"";
    program->startReading();
    ASSERT_TRUE(program->waitForBlocks(800, 30000));
    program->closeInput();
    ASSERT_EQ(program->waitForExit(exitBoundMs), std::optional<DWORD>(0));
    program->closeOutput();

    EXPECT_EQ(program->bytesRead() % bytesPerBlock, 0u) << "a block cut short: " << program->bytesRead() << " bytes";
    auto all = program->samples(0, program->blockCount());
    std::size_t outOfRange = 0;
    for (float x : all) {
        outOfRange += !(x >= -1.0f && x <= 1.0f);  // NaN counts too
    }
    EXPECT_EQ(outOfRange, 0u);
    EXPECT_GT(peakOf(all), 0.9) << "the players were heard (the range check means something)";

    auto arrivals = arrivalSeconds(*program);
    std::size_t n = arrivals.size();
    auto pace = measurePace(arrivals, 100, 100 + stretch, n - stretch, n);
    printPace("steady", pace);
    EXPECT_GE(pace.secondsElapsed, 5.0);
    EXPECT_LE(std::fabs(pace.driftBlocks), 2.0);
}

TEST_F(Stream, PaceHoldsAcrossAScanThatOpensSources) {
    auto program = startReadyProgram({L"--all-except", L"0"});
    ASSERT_TRUE(program->waitForBlocks(200, 30000));
    // Each opening now takes 400 ms inside the scan, under the source map.
    setFault(control().faults.activationDelayMs, 400);
    setFault(control().faults.activationDelayPid, fake::anyPid);
    std::size_t before = program->blockCount();
    startPlayer({.frequency = 440, .level = quarter});
    startPlayer({.frequency = 550, .level = quarter});
    startPlayer({.frequency = 660, .level = quarter});
    ASSERT_TRUE(waitForTone(*program, before, 660, 0.5 * amplitudeOf(quarter), 15000).has_value());
    std::size_t opened = program->blockCount();
    // The late stretch starts well after the openings and at least 6 s of
    // blocks after the early one, so the measure spans 5 s however quickly
    // the scan came.
    std::size_t lateFirst = std::max(opened + 200, before + 600);
    ASSERT_TRUE(program->waitForBlocks(std::max(opened + 400, lateFirst + stretch), 30000));
    fake::clearFaults(control());

    auto arrivals = arrivalSeconds(*program);
    auto gap = longestGap(arrivals);
    std::printf("[ figure ] longest gap %.3f s before block %zu\n", gap.seconds, gap.beforeBlock);
    EXPECT_GE(gap.seconds, 0.3) << "the scan did hold the stream";
    auto pace = measurePace(arrivals, before - stretch, before, lateFirst, lateFirst + stretch);
    printPace("across a scan that opens sources", pace);
    EXPECT_LE(std::fabs(pace.driftBlocks), 2.0);
    EXPECT_GE(pace.secondsElapsed, 5.0);
}

TEST_F(Stream, PaceHoldsAcrossAnActivationThatHangsForItsWholeBound) {
    auto program = startReadyProgram({L"--all-except", L"0"});
    ASSERT_TRUE(program->waitForBlocks(200, 30000));
    setFault(control().faults.activationDelayMs, fake::delayForever);
    setFault(control().faults.activationDelayPid, fake::anyPid);
    std::size_t before = program->blockCount();
    startPlayer({.frequency = 440, .level = quarter});
    ASSERT_TRUE(waitForStall(*program, 1000, 10000)) << "no scan hung";
    // Let the program give up on its own (5000 ms), then let the next scan
    // open the player normally.
    std::size_t stalledAt = program->blockCount();
    ASSERT_TRUE(program->waitForBlocks(stalledAt + 1, 20000)) << "the stream never came back";
    fake::clearFaults(control());
    auto heard = waitForTone(*program, stalledAt, 440, 0.5 * amplitudeOf(quarter), 15000);
    ASSERT_TRUE(heard.has_value()) << "the player was never opened after the hang";
    ASSERT_TRUE(program->waitForBlocks(*heard + 300, 30000));

    auto arrivals = arrivalSeconds(*program);
    auto gap = longestGap(arrivals);
    std::printf("[ figure ] hung activation: gap %.3f s before block %zu\n", gap.seconds, gap.beforeBlock);
    EXPECT_GE(gap.seconds, 4.5) << "the activation was waited for its whole bound";
    EXPECT_LT(gap.seconds, 8.0) << "and no longer";
    auto pace = measurePace(arrivals, before - stretch, before, *heard + 100, *heard + 100 + stretch);
    printPace("across a hung activation", pace);
    EXPECT_LE(std::fabs(pace.driftBlocks), 2.0) << "the blocks owed were made up, none skipped";
}

}  // namespace
}  // namespace blackbox
