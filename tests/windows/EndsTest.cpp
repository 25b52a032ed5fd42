// How the shipped exe starts and ends, as its parent sees it: the usage line,
// the probe's "unsupported" line, "ready" only once the first scan is done, a
// rescan every 2 s, the end when the parent closes the read end of standard
// output, with every client the fake handed out stopped and released and
// every listener unregistered, and the end when the parent closes standard
// input after it has stopped reading.

#include "FakeWorld.h"

#include <audioclient.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class Ends : public FakeWorld {};

// The end of input ends the program at once (3 to 41 ms here, also beside
// four busy loops); the bound leaves a loaded machine ample room, while a
// program caught in its own ending never ends at all.
constexpr DWORD exitBoundMs = 5000;

TEST_F(Ends, AFailingProbeGivesTheUnsupportedLineAndCodeTwo) {
    const struct {
        LONG fault, code;
        const char* line;
    } rows[] = {
        {fake::refuse, E_ACCESSDENIED, "unsupported 0x80070005\n"},
        {fake::failResult, AUDCLNT_E_DEVICE_INVALIDATED, "unsupported 0x88890004\n"},
        {fake::noInterface, S_FALSE, "unsupported 0x00000001\n"},
        {0, 0, "unsupported 0x800705b4\n"},  // no completion: the probe gives up after 5 s
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        faults() = fake::Faults{.activationPid = row.fault ? -1 : 0, .activationFault = row.fault,
                                .activationCode = row.code, .holdActivations = row.fault ? 0 : -1};
        const ULONGLONG started = GetTickCount64();
        expectOnlyOnStandardError(*startProgram(L"--all-except 0"), 2, row.line);
        if (!row.fault) {
            EXPECT_GE(GetTickCount64() - started, 5000u) << "the probe waited less than its bound";
        }
    }
}

TEST_F(Ends, ReadyOnlyOnceTheFirstScanIsDone) {
    auto player = startPlayers(L"440 8192", 1);
    faults().holdActivations = static_cast<LONG>(player.pids[0]);
    auto program = startProgram(L"--all-except 0");
    ASSERT_TRUE(eventually([] { return counts().heldActivations == 1; })) << "the first scan never opened the player";
    EXPECT_EQ(program->error(), "") << "ready while the first scan was still opening its sources";
    faults().holdActivations = 0;
    EXPECT_TRUE(program->waitReady(30000)) << program->error();
}

TEST_F(Ends, RescansEveryTwoSecondsAndOpensWhatCameSince) {
    auto program = startProgram(L"--all-except 0");
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    auto player = startPlayers(L"440 8192", 1);
    EXPECT_TRUE(eventually([&] { return captures(player.pids[0]) == 1; })) << "no later scan opened the new player";
    // Timed from the scan after the one the new session woke (or a later
    // one): from then on nothing changes, and only the period brings scans.
    // Five periods: a scan that a busy machine delays lengthens one of them,
    // which cannot move their median, while a longer pause moves them all.
    const LONG first = counts().scans + 1;
    constexpr LONG timedScans = 6;
    ASSERT_TRUE(eventually([&] { return counts().scans >= first + timedScans - 1; }, 40000)) << "scans stopped";
    const auto at = [](LONG scan) { return static_cast<ULONG>(counts().scanTimes[scan - 1]); };
    // Read before the time, so no scan can slip in between.
    const LONG rescans = counts().scans - first;
    EXPECT_LE(rescans, (static_cast<ULONG>(fake::counterMs()) - at(first)) / 2000.0) << "scans less than 2 s apart";
    std::vector<ULONG> periods;
    std::string seen;
    for (LONG scan = first + 1; scan < first + timedScans; ++scan) {
        periods.push_back(at(scan) - at(scan - 1));
        seen += ' ' + std::to_string(periods.back());
    }
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    const ULONG median = periods[periods.size() / 2];
    // Sleep and the counter are separate clocks, each read to the ms.
    EXPECT_GE(median, 1995u) << "median of the ms between scans:" << seen;
    EXPECT_LE(median, 3000u) << "median of the ms between scans:" << seen;
}

TEST_F(Ends, ClosedOutputEndsWithCodeZeroAndEverythingReleased) {
    auto player = startPlayers(L"440 8192", 1);
    for (bool duringAScan : {false, true}) {
        SCOPED_TRACE(duringAScan ? "while a scan waits for an activation" : "while mixing");
        FakeWorld::SetUp();
        auto program = startProgram(L"--all-except 0");
        ASSERT_TRUE(program->waitReady(30000)) << program->error();
        ASSERT_EQ(counts().running, 1);
        Players late;
        if (duringAScan) {
            faults().holdActivations = -1;
            late = startPlayers(L"660 4096", 1);
            ASSERT_TRUE(eventually([] { return counts().heldActivations == 1; })) << "no rescan came";
        }
        program->closeOutput();
        faults().holdActivations = 0;
        EXPECT_EQ(program->waitExit(30000), 0);
        EXPECT_EQ(program->error(), "ready\n");
        EXPECT_EQ(counts().running, 0) << "clients not stopped";
        EXPECT_EQ(counts().clients, 0) << "clients not released";
        EXPECT_EQ(counts().registrations, 0) << "listeners left registered";
        EXPECT_EQ(counts().objects, 0) << "session managers or enumerators not released";
        EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
    }
}

TEST_F(Ends, ClosedInputEndsWithCodeZeroWhileTheParentHasStoppedReading) {
    auto player = startPlayers(L"440 8192", 1);
    auto program = startProgram(L"--all-except 0");
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    std::vector<float> block(960);
    ASSERT_TRUE(program->read(block.data(), block.size() * sizeof(float), 20000));
    Sleep(3000);  // the pipe fills, and the program's write blocks
    program->closeInput();
    const ULONGLONG closed = GetTickCount64();
    // Without reading: a read would let the blocked write go on.
    EXPECT_EQ(program->waitExitUnread(exitBoundMs), 0) << "still running after the bound";
    RecordProperty("exitMs", static_cast<int>(GetTickCount64() - closed));
}

// Where the fake platform is not loaded: without a target the usage line,
// whatever the platform; under stock Wine, whose mmdevapi completes a
// process-loopback activation with 0x80070002, the end at the probe.
TEST(WithoutFake, NoTargetGivesTheUsageLineAndCodeOne) {
    for (const wchar_t* arguments : {L"", L"--all-except", L"--self 1234", L"--window 1", L"--window 0x10 --self 7"}) {
        SCOPED_TRACE(arguments);
        expectOnlyOnStandardError(*startProgram(arguments), 1,
                                  "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n");
    }
}

TEST(WithoutFake, StockWineIsUnsupported) {
    expectOnlyOnStandardError(*startProgram(L"--all-except 0"), 2, "unsupported 0x80070002\n");
}

}  // namespace
