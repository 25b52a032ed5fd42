// What a parent hears when the set of playing applications changes while the
// program runs: sources follow the sessions at the next rescan (every 2 s).

#include "harness/BlackboxTest.h"

#include <cstdio>

namespace blackbox {
namespace {

constexpr long quarter = 8192;

class Change : public BlackboxTest {};

TEST_F(Change, APlayerThatStartsAfterReadyIsHeardWithinTwoAndAHalfSeconds) {
    auto program = startReadyProgram({L"--all-except", L"0"});
    listen(*program, 50);
    std::size_t from = program->blockCount();
    auto& late = startPlayer({.frequency = 440, .level = quarter});
    Ticks started = now();  // the player has announced its session
    (void)late;
    auto heardUntil = waitForTone(*program, from, 440, 0.5 * amplitudeOf(quarter), 10000);
    ASSERT_TRUE(heardUntil.has_value()) << "never heard";
    double seconds = secondsBetween(started, program->arrivals()[*heardUntil - 1]);
    std::printf("[ figure ] new player heard %.3f s after its session appeared\n", seconds);
    RecordProperty("heardAfterMs", static_cast<int>(seconds * 1000));
    EXPECT_LE(seconds, 2.5);
}

TEST_F(Change, APlayerWhoseSessionExpiresGoesSilentAfterTheNextScan) {
    auto& player = startPlayer({.frequency = 440, .level = quarter});
    auto program = startReadyProgram({L"--all-except", L"0"});
    ASSERT_TRUE(waitForTone(*program, 0, 440, 0.8 * amplitudeOf(quarter), 5000).has_value());
    LONG destroyedBefore = fake::snapshotAccounting(control()).audioClientsDestroyed;

    // The fake goes on playing the tone: only closing the source silences it.
    ASSERT_TRUE(player.command("state expired"));
    Ticks expired = now();
    std::size_t from = program->blockCount();
    auto silentUntil = waitForSilence(*program, from, 10000, 20);
    ASSERT_TRUE(silentUntil.has_value()) << "still heard";
    double seconds = secondsBetween(expired, program->arrivals()[*silentUntil - 1]);
    std::printf("[ figure ] expired session silent %.3f s later\n", seconds);
    EXPECT_LE(seconds, 2.0 + 2.0) << "one rescan period and a scan's time";

    auto after = listen(*program, 100);
    EXPECT_EQ(peakOf(after), 0.0) << "and it stays silent";
    EXPECT_EQ(fake::snapshotAccounting(control()).audioClientsDestroyed - destroyedBefore, 1)
        << "its source was closed";
}

}  // namespace
}  // namespace blackbox
