// A new app is heard from its first sound: the shipped exe follows Core
// Audio's notifications, as the fake delivers them (a new session only to a
// manager whose enumerator was counted, an endpoint's state change), with a
// scan at once rather than at the next period.

#include "FakeWorld.h"
#include "StreamRecorder.h"

#include <algorithm>
#include <string>

namespace {

class Notifications : public FakeWorld {};

// The first block from block `from` on that arrived after `publishedMs` and
// holds sound, as ms after it; -1 when none has come. Nothing else plays:
// every other sample is 0.
LONG firstSoundMs(StreamRecorder& stream, std::size_t from, LONG publishedMs) {
    const std::vector<float> samples = stream.since(from);
    for (std::size_t at = 0; at < samples.size(); ++at) {
        const std::size_t block = from + at / StreamRecorder::blockSamples;
        if (samples[at] != 0.0f && stream.arrival(block) >= publishedMs) return stream.arrival(block) - publishedMs;
    }
    return -1;
}

TEST_F(Notifications, AnAppThatStartsPlayingIsHeardAtOnce) {
    // Every app, or a chosen program that starts again.
    for (const wchar_t* arguments : {L"--all-except 0", L"--exe player.exe"}) {
        SCOPED_TRACE(arguments);
        auto program = startProgram(arguments);
        ASSERT_TRUE(program->waitReady(30000)) << program->error();
        StreamRecorder stream(*program);
        std::string seen;
        for (int start = 0; start < 10; ++start) {
            SCOPED_TRACE(start);
            const std::size_t from = stream.blocks();
            auto player = startPlayers(L"440 8192", 1);
            const LONG published = fake::findSlot(fakeRecord(), player.pids[0])->publishedMs;
            LONG heardMs = -1;
            // Waited for well past the period, so that a late tone is measured.
            eventually([&] { return (heardMs = firstSoundMs(stream, from, published)) >= 0; }, 5000);
            seen += ' ' + std::to_string(heardMs);
            EXPECT_GE(heardMs, 0) << "never heard";
            EXPECT_LE(heardMs, 250) << "ms from the app's first sound to the stream";
        }
        RecordProperty(std::string("firstSoundMs ") + (arguments[2] == L'a' ? "all-except" : "exe"), seen);
        ASSERT_TRUE(stream.stop()) << "the stream stopped";
        program->closeInput();
        EXPECT_EQ(program->waitExit(10000), 0);
    }
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

TEST_F(Notifications, AnEndpointThatComesIsWatchedAtOnce) {
    faults().secondEndpointOff = 1;
    auto program = startProgram(L"--all-except 0");
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    auto early = startPlayers(L"440 8192 second", 1);
    justAfterAScan();
    EXPECT_EQ(captures(early.pids[0]), 0) << "a session of an unplugged endpoint was captured";

    LONG since = fake::counterMs();
    faults().secondEndpointOff = 0;
    EXPECT_TRUE(eventually([&] { return captures(early.pids[0]) == 1; })) << "the endpoint's app was never captured";
    EXPECT_LE(fake::counterMs() - since, 700) << "ms from the endpoint's coming to its app's capture";

    // Its session manager is watched now: an app that starts on it is
    // captured at once as well.
    justAfterAScan();
    auto late = startPlayers(L"660 8192 second", 1);
    since = fake::findSlot(fakeRecord(), late.pids[0])->publishedMs;
    EXPECT_TRUE(eventually([&] { return captures(late.pids[0]) == 1; })) << "the new app was never captured";
    EXPECT_LE(fake::counterMs() - since, 700) << "ms from the new app's first sound to its capture";

    program->closeOutput();
    EXPECT_EQ(program->waitExit(30000), 0);
    EXPECT_EQ(counts().registrations, 0) << "listeners left registered";
    EXPECT_EQ(counts().objects, 0) << "session managers or enumerators not released";
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

}  // namespace
