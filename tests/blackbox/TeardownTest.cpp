// The output closing while a scan is in progress: the rescan thread is never
// stopped, so the program's teardown must not race the scan. Whatever the
// timing, the program ends with code 0, every source stopped and released,
// and no crash. Repeated, since a race shows only now and then.

#include "harness/BlackboxTest.h"

#include <cstdio>

namespace blackbox {
namespace {

constexpr long quarter = 8192;
constexpr int rounds = 10;

class Teardown : public BlackboxTest {};

TEST_F(Teardown, OutputClosingDuringAScanEndsCleanly) {
    startPlayer({.frequency = 440, .level = quarter});
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fake::clearFaults(control());
        fake::Accounting before = fake::snapshotAccounting(control());
        auto program = startReadyProgram({L"--all-except", L"0"});
        ASSERT_TRUE(program->waitForBlocks(20, 30000));
        // The next scan opens a new player slowly: a delay that ends (the
        // source is opened while the output is already closed) or one that
        // never does (the program gives up after its bound).
        LONG delay = round % 2 == 0 ? 1500 : fake::delayForever;
        setFault(control().faults.activationDelayMs, delay);
        setFault(control().faults.activationDelayPid, fake::anyPid);
        PlayerSetup newcomer{.frequency = 660, .level = quarter};
        auto& late = startPlayer(newcomer);
        ASSERT_TRUE(waitForStall(*program, 300, 10000)) << "no scan in progress";
        program->closeOutput();
        auto code = program->waitForExit(exitBoundMs + 5000);
        ASSERT_TRUE(code.has_value()) << "did not end";
        EXPECT_EQ(*code, 0u) << std::hex << "exit code 0x" << *code;
        EXPECT_EQ(program->standardError(), "ready\n");

        fake::Accounting after = fake::snapshotAccounting(control());
        auto delta = [&](volatile LONG fake::Accounting::*field) { return after.*field - before.*field; };
        EXPECT_EQ(delta(&fake::Accounting::audioClientsCreated), delta(&fake::Accounting::audioClientsDestroyed));
        EXPECT_EQ(delta(&fake::Accounting::audioClientsDestroyedRunning), 0);
        EXPECT_EQ(delta(&fake::Accounting::captureClientsCreated), delta(&fake::Accounting::captureClientsDestroyed));
        EXPECT_EQ(delta(&fake::Accounting::eventsRegistered), delta(&fake::Accounting::eventsClosed));
        std::printf("[ figure ] round %d: clients %ld created, %ld destroyed\n", round,
                    delta(&fake::Accounting::audioClientsCreated), delta(&fake::Accounting::audioClientsDestroyed));
        fake::clearFaults(control());
        late.stop(5000);
    }
}

}  // namespace
}  // namespace blackbox
