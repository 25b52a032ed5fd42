// A playing app's sound as the parent hears it from the shipped exe: a
// player whose activation hangs holds up no one else's sound, and a player
// whose capture client dies, in any of the ways Windows reports, is heard
// again with a new one at once, or, while the audio service is down, once
// it is back.

#include "FakeWorld.h"
#include "StreamRecorder.h"

#include <audioclient.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr std::size_t blockSamples = 960;
constexpr std::size_t blockFrames = 480;
// A source that ran short is heard again once its FIFO holds a block and its
// cushion, at most 40 ms: a late packet costs the time it was late plus that.
constexpr std::size_t largestCushionFrames = 1920;

class Continuity : public FakeWorld {};

bool soundIn(const std::vector<float>& samples) {
    return std::any_of(samples.begin(), samples.end(), [](float value) { return value != 0.0f; });
}

// Frames missing from a tone at a level of 8192, which is exactly 0 at no
// two frames in a row: the longest run of frames whose left sample is 0
// (beyond one), all such frames together, and where the tone comes back
// after a silence of a few ms at least (the block that holds the first frame
// of sound after it), if it does.
struct Silence {
    std::size_t longest = 0, total = 0;
    std::optional<std::size_t> back;
};
Silence silenceIn(const std::vector<float>& samples) {
    Silence silence;
    std::size_t run = 0;
    for (std::size_t at = 0; at < samples.size(); at += 2) {
        if (samples[at] != 0.0f && run >= blockFrames / 2 && !silence.back) silence.back = at / blockSamples;
        run = samples[at] == 0.0f ? run + 1 : 0;
        silence.longest = std::max(silence.longest, run);
        silence.total += run > 1 ? 1 + (run == 2) : 0;
    }
    return silence;
}

TEST_F(Continuity, APlayerPlaysOnWhileAnotherPlayersActivationHangs) {
    auto steady = startPlayers(L"440 8192", 1);
    auto program = startProgram(L"--all-except 0");
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    StreamRecorder stream(*program);
    ASSERT_TRUE(eventually([&] { return stream.blocks() > 0 && soundIn(stream.since(stream.blocks() - 1)); }))
        << "the steady player was never heard";

    // From now on every activation hangs until the test lets it go; the
    // steady player's source is open already and needs none.
    faults().holdActivations = -1;
    const std::size_t from = stream.blocks();
    const ULONGLONG fromMs = GetTickCount64();
    auto late = startPlayers(L"660 8192", 1);
    ASSERT_TRUE(eventually([] { return counts().heldActivations > 0; })) << "no rescan reached the late player";
    // On until the program has given the hanging activation up (5000 ms),
    // and a while beyond.
    Sleep(6500);
    const double elapsedBlocks = (GetTickCount64() - fromMs) / 10.0;
    const std::size_t received = stream.blocks() - from;
    ASSERT_TRUE(stream.stop()) << "the stream stopped";
    faults().holdActivations = 0;

    const Silence silence = silenceIn(stream.since(from));
    EXPECT_LE(silence.longest, 2 * blockFrames + largestCushionFrames)
        << "frames of the steady player missing in a row";
    // In all, no more than late packets leave out on a loaded machine (their
    // audio follows in later blocks); a source held off the mixer for 5 s
    // loses all but its newest 100 ms.
    EXPECT_LE(silence.total, 20 * blockFrames) << "frames of the steady player missing in all";
    // Blocks in the pipe at either end of the stretch make a few either way.
    EXPECT_NEAR(static_cast<double>(received), elapsedBlocks, 100) << "blocks against time";
    program->closeInput();
    EXPECT_EQ(program->waitExit(10000), 0);
}

TEST_F(Continuity, ADeadClientIsReplacedAtOnceHoweverItDies) {
    auto player = startPlayers(L"440 8192", 1);
    fake::Slot& slot = *fake::findSlot(fakeRecord(), player.pids[0]);
    const struct {
        HRESULT code;
        const char* name;
        bool serviceDown;  // activations fail for a while after the loss
    } codes[] = {
        {AUDCLNT_E_DEVICE_INVALIDATED, "device invalidated", false},
        {AUDCLNT_E_RESOURCES_INVALIDATED, "resources invalidated", false},
        {AUDCLNT_E_SERVICE_NOT_RUNNING, "service not running", false},
        {AUDCLNT_E_SERVICE_NOT_RUNNING, "service not running, then down for 2.5 s", true},
    };
    // Which calls of a dead client answer so: every one, then only the
    // later ones of a packet, as when the client dies between two calls.
    const std::pair<LONG, const char*> deaths[] = {{0, "every call"}, {2 | 4, "from GetBuffer on"},
                                                   {4, "ReleaseBuffer alone"}};
    for (const auto& code : codes) {
        SCOPED_TRACE(code.name);
        SetUp();
        auto program = startProgram(L"--all-except 0");
        ASSERT_TRUE(program->waitReady(30000)) << program->error();
        StreamRecorder stream(*program);
        ASSERT_TRUE(eventually([&] { return stream.blocks() > 0 && soundIn(stream.since(stream.blocks() - 1)); }))
            << "the player was never heard";
        LONG lost = 0;
        for (const auto& [calls, death] : deaths) {
            if (code.serviceDown && lost > 0) break;
            SCOPED_TRACE(death);
            slot.lossCode = code.code;
            slot.lossCalls = calls;
            // Just after a scan, so that the next periodic one is far off.
            justAfterAScan();
            const std::size_t from = stream.blocks();
            const LONG clients = captures(player.pids[0]);
            if (code.serviceDown) {
                faults().activationPid = static_cast<LONG>(player.pids[0]);
                faults().activationFault = fake::failResult;
                faults().activationCode = code.code;
            }
            InterlockedIncrement(&slot.invalidations);
            ++lost;
            std::size_t upAt = from;  // when activations work again
            if (code.serviceDown) {
                Sleep(2500);
                EXPECT_EQ(captures(player.pids[0]), clients) << "a client started while the service was down";
                upAt = stream.blocks();
                faults().activationPid = 0;
            }
            EXPECT_TRUE(eventually([&] { return captures(player.pids[0]) == clients + 1; }))
                << "no new client for the player";
            std::optional<std::size_t> back;
            EXPECT_TRUE(eventually([&] { return (back = silenceIn(stream.since(from)).back).has_value(); }))
                << "the player was not heard again";
            const long backMs = (static_cast<long>(from + back.value_or(0)) - static_cast<long>(upAt)) * 10;
            // At once, or with the service down, at the next periodic scan
            // after it is back.
            EXPECT_LE(backMs, code.serviceDown ? 2000 + 700 : 700) << "ms from the loss (or the service) to the tone";
            RecordProperty(std::string(code.name) + ", " + death + ": ms", static_cast<int>(backMs));
            EXPECT_EQ(counts().invalidatedCalls, lost) << "the dead client was polled on";
            EXPECT_EQ(counts().clients, 1) << "the dead client was not released";
        }
        ASSERT_TRUE(stream.stop()) << "the stream stopped";
        program->closeOutput();
        EXPECT_EQ(program->waitExit(30000), 0);
        EXPECT_EQ(counts().clients, 0) << "clients not released";
        EXPECT_EQ(counts().running, 0) << "clients not stopped";
        EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
    }
}

}  // namespace
