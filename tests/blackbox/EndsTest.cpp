// How the program ends, as its parent sees it: closing standard input stops
// it at any moment, closing the read end of standard output stops it after
// releasing everything, and a platform without process loopback gets the
// "unsupported" line.

#include "harness/BlackboxTest.h"

#include <cstdio>

namespace blackbox {
namespace {

constexpr long quarter = 8192;

class Ends : public BlackboxTest {
protected:
    void expectExitZeroSoon(ProgramUnderTest& program, Ticks closedAt, const char* when) {
        auto code = program.waitForExit(exitBoundMs);
        ASSERT_TRUE(code.has_value()) << "still running " << exitBoundMs << " ms after the close";
        EXPECT_EQ(*code, 0u);
        double seconds = secondsBetween(closedAt, program.exitTime());
        std::printf("[ figure ] %s: ended %.3f s after standard input closed\n", when, seconds);
        // The program itself ends within 1 s; the bound allows for a busy host.
        EXPECT_LE(seconds, 3.0);
    }
};

TEST_F(Ends, ClosingInputBeforeReadyEndsWithCodeZero) {
    startPlayer({.frequency = 440, .level = quarter});
    // Slow activations keep the first scan, and so "ready", a while away.
    setFault(control().faults.activationDelayMs, 1500);
    setFault(control().faults.activationDelayPid, fake::anyPid);
    auto program = startProgram({L"--all-except", L"0"});
    program->closeInput();
    auto code = program->waitForExit(exitBoundMs + 10000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
    std::string error = program->standardError();
    EXPECT_TRUE(error.empty() || error == "ready\n") << error;
}

TEST_F(Ends, ClosingInputWhileMixingEndsWithinASecond) {
    startPlayer({.frequency = 440, .level = quarter});
    auto program = startReadyProgram({L"--all-except", L"0"});
    listen(*program, 50);
    expectExitZeroSoon(*program, program->closeInput(), "while mixing");
    EXPECT_EQ(program->standardError(), "ready\n");
}

TEST_F(Ends, ClosingInputDuringAScanEndsWithinASecond) {
    auto program = startReadyProgram({L"--all-except", L"0"});
    listen(*program, 20);
    // The next scan opens the new player's source and hangs in activation,
    // holding the source map.
    setFault(control().faults.activationDelayMs, fake::delayForever);
    setFault(control().faults.activationDelayPid, fake::anyPid);
    startPlayer({.frequency = 440, .level = quarter});
    ASSERT_TRUE(waitForStall(*program, 500, 10000)) << "no scan held the stream";
    expectExitZeroSoon(*program, program->closeInput(), "during a scan");
    fake::clearFaults(control());
}

TEST_F(Ends, ClosingOutputEndsWithCodeZeroAndEverythingReleased) {
    startPlayer({.frequency = 440, .level = quarter});
    startPlayer({.frequency = 660, .level = quarter, .endpoints = 2});
    auto program = startReadyProgram({L"--all-except", L"0"});
    listen(*program, 100);
    ASSERT_EQ(liveClients(), 2);
    program->closeOutput();
    auto code = program->waitForExit(exitBoundMs);
    ASSERT_TRUE(code.has_value()) << "the program outlived its reader";
    EXPECT_EQ(*code, 0u) << "a short write ends the loop; not a crash";
    EXPECT_EQ(program->standardError(), "ready\n");

    fake::Accounting counts = fake::snapshotAccounting(control());
    EXPECT_EQ(counts.audioClientsCreated, counts.audioClientsDestroyed) << "audio clients released";
    EXPECT_EQ(counts.audioClientsDestroyedRunning, 0) << "released without Stop";
    EXPECT_GE(counts.audioClientStops, counts.audioClientStarts) << "every started client stopped";
    EXPECT_EQ(counts.captureClientsCreated, counts.captureClientsDestroyed) << "capture clients released";
    EXPECT_EQ(counts.eventsRegistered, counts.eventsClosed) << "events closed";
    EXPECT_EQ(counts.eventsOpenAtExit, 0);
    EXPECT_EQ(counts.sessionControlsCreated, counts.sessionControlsDestroyed);
    EXPECT_EQ(counts.enumeratorsCreated, counts.enumeratorsDestroyed);
}

TEST_F(Ends, AFailingProbeGivesTheUnsupportedLineAndCodeTwo) {
    struct Case {
        const char* what;
        LONG code;
        LONG mode;
        const char* expected;
    };
    const Case cases[] = {
        {"activation completes with a failure", static_cast<LONG>(0x88890004), fake::activationResultFails,
         "unsupported 0x88890004\n"},
        {"activation refused at once", static_cast<LONG>(0x80070005), fake::activationRefused,
         "unsupported 0x80070005\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::clearFaults(control());
        setFault(control().faults.activationFailCode, c.code);
        setFault(control().faults.activationFailMode, c.mode);
        setFault(control().faults.activationFailPid, fake::anyPid);
        auto program = startProgram({L"--all-except", L"0"});
        program->startReading();
        auto code = program->waitForExit(exitBoundMs);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 2u);
        program->closeOutput();
        EXPECT_EQ(program->standardError(), c.expected);
        EXPECT_EQ(program->bytesRead(), 0u) << "nothing on standard output";
    }
}

}  // namespace
}  // namespace blackbox
