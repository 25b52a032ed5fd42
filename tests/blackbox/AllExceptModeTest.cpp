// All-except mode as a parent uses it: "--all-except <pid>" captures every
// process with a live, non-system audio session, except the named process
// with its descendants and ancestors and audio-routing programs; a process
// whose ancestor is captured already is heard through that ancestor.
//
// The test parent is the players' parent too, so its own pid is never passed
// (every player would be excluded as its descendant): 0 or a player's pid.

#include "harness/BlackboxTest.h"

namespace blackbox {
namespace {

constexpr long quarter = 8192;  // 0.25 of full scale
constexpr double absent = 0.01;

bool heardAt(std::span<const float> sound, double frequency, long level16) {
    double level = toneLevel(sound, frequency);
    return level >= 0.8 * amplitudeOf(level16) && level <= 1.1 * amplitudeOf(level16);
}

class AllExceptMode : public BlackboxTest {
protected:
    // The program in all-except mode, past "ready" and its sources' first fill.
    std::unique_ptr<ProgramUnderTest> capture(DWORD excluded) {
        auto program = startReadyProgram({L"--all-except", std::to_wstring(excluded)});
        listen(*program, 20);
        return program;
    }
};

TEST_F(AllExceptMode, TwoPlayersAreMixedAtTheirLevels) {
    startPlayer({.frequency = 440, .level = quarter});
    startPlayer({.frequency = 660, .level = 4096});
    auto program = capture(0);
    auto sound = listen(*program, 50);
    EXPECT_TRUE(heardAt(sound, 440, quarter)) << toneLevel(sound, 440);
    EXPECT_TRUE(heardAt(sound, 660, 4096)) << toneLevel(sound, 660);
    EXPECT_EQ(liveClients(), 2);
}

TEST_F(AllExceptMode, SumsBeyondFullScaleClampToPlusMinusOne) {
    startPlayer({.frequency = 440, .level = 24576});  // 0.75 each: sums reach 1.5
    startPlayer({.frequency = 660, .level = 24576});
    auto program = capture(0);
    auto sound = listen(*program, 100);
    float lowest = 0, highest = 0;
    std::size_t clamped = 0;
    for (float x : sound) {
        ASSERT_TRUE(x >= -1.0f && x <= 1.0f) << x;
        lowest = std::min(lowest, x);
        highest = std::max(highest, x);
        clamped += (x == 1.0f || x == -1.0f);
    }
    EXPECT_EQ(highest, 1.0f);
    EXPECT_EQ(lowest, -1.0f);
    EXPECT_GT(clamped, 100u) << "peaks of 1.5 flattened at full scale";
}

TEST_F(AllExceptMode, TheExcludedProcessItsTreeAndItsAncestorsAreSilent) {
    auto& excludedTree = startPlayer({.frequency = 440, .level = quarter, .children = {{.frequency = 660, .level = quarter}}});
    ASSERT_EQ(excludedTree.report().descendants.size(), 1u);
    startPlayer({.frequency = 550, .level = quarter});

    struct Case {
        const char* what;
        DWORD excluded;
    };
    const Case cases[] = {
        {"the parent excluded: it and its child", excludedTree.processId()},
        {"the child excluded: it and its parent", excludedTree.report().descendants[0]},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto program = capture(c.excluded);
        auto sound = listen(*program, 50);
        EXPECT_LT(toneLevel(sound, 440), absent);
        EXPECT_LT(toneLevel(sound, 660), absent);
        EXPECT_TRUE(heardAt(sound, 550, quarter)) << "an unrelated player: " << toneLevel(sound, 550);
        program->closeInput();
        EXPECT_EQ(program->waitForExit(exitBoundMs), std::optional<DWORD>(0));
    }
}

TEST_F(AllExceptMode, SystemSoundsAndExpiredSessionsAreSilentAnInactiveOneIsCaptured) {
    startPlayer({.frequency = 330, .level = quarter, .systemSounds = true});
    startPlayer({.frequency = 550, .level = quarter, .state = L"expired"});
    // An inactive session still counts; the fake plays its tone all the same
    // so that the capture can be heard.
    startPlayer({.frequency = 440, .level = quarter, .state = L"inactive"});
    auto program = capture(0);
    auto sound = listen(*program, 50);
    EXPECT_LT(toneLevel(sound, 330), absent) << "system sounds";
    EXPECT_LT(toneLevel(sound, 550), absent) << "expired";
    EXPECT_TRUE(heardAt(sound, 440, quarter)) << "inactive: " << toneLevel(sound, 440);
    EXPECT_EQ(liveClients(), 1);
}

TEST_F(AllExceptMode, ParentAndChildThatBothPlayAreHeardOnce) {
    // Both have sessions; the parent's capture carries the child's tone, so a
    // second source for the child would add it again.
    startPlayer({.frequency = 440, .level = quarter, .children = {{.frequency = 660, .level = quarter}}});
    auto program = capture(0);
    auto sound = listen(*program, 50);
    EXPECT_TRUE(heardAt(sound, 440, quarter)) << toneLevel(sound, 440);
    EXPECT_TRUE(heardAt(sound, 660, quarter)) << "the child at its level, not doubled: " << toneLevel(sound, 660);
    EXPECT_EQ(liveClients(), 1) << "one source for the tree";
}

TEST_F(AllExceptMode, OneProcessWithSessionsOnTwoEndpointsIsHeardOnce) {
    startPlayer({.frequency = 440, .level = quarter, .endpoints = 3});
    auto program = capture(0);
    auto sound = listen(*program, 50);
    EXPECT_TRUE(heardAt(sound, 440, quarter)) << toneLevel(sound, 440);
    EXPECT_EQ(liveClients(), 1);
}

TEST_F(AllExceptMode, AnAudioRoutingProgramIsSilentWhileItsChildOfAnotherNameIsHeard) {
    // A copy of the player under the routing program's name, on its own.
    startPlayer({.frequency = 330, .level = quarter}, playerCopy(L"voicemeeterpro.exe"));
    // And a routing program with a session whose child, player.exe, plays.
    DWORD routerPid = 0;
    auto& child = startUnderParentNamed(L"VoiceMeeterPro.exe", {.frequency = 440, .level = quarter},
                                        {.frequency = 660, .level = quarter}, routerPid);
    ASSERT_NE(routerPid, 0u);
    ASSERT_NE(child.processId(), routerPid);
    auto program = capture(0);
    auto sound = listen(*program, 50);
    EXPECT_LT(toneLevel(sound, 330), absent) << "the player copy named voicemeeterpro.exe";
    EXPECT_LT(toneLevel(sound, 440), absent) << "the routing program's own session";
    EXPECT_TRUE(heardAt(sound, 660, quarter)) << "its child, player.exe: " << toneLevel(sound, 660);
    EXPECT_EQ(liveClients(), 1);
}

}  // namespace
}  // namespace blackbox
