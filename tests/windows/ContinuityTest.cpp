// A playing app's sound as the parent hears it from the shipped exe: a
// player whose activation hangs holds up no one else's sound, and a player
// whose capture client lost its device is heard again with a new one.

#include "FakeWorld.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr std::size_t blockSamples = 960;
constexpr std::size_t blockFrames = 480;

class Continuity : public FakeWorld {};

// Reads the program's stream on a thread of its own, as a parent that never
// stops reading does: nothing the test does meanwhile (starting a player
// takes a while under Wine) may stall the program's writes, which would cost
// audio beyond what a source keeps.
class StreamRecorder {
public:
    explicit StreamRecorder(ChildProcess& program) : reader([this, &program] { record(program); }) {}
    ~StreamRecorder() { stop(); }

    std::size_t blocks() {
        std::lock_guard<std::mutex> held(lock);
        return samples.size() / blockSamples;
    }
    // The samples of block `first` and every later one received so far.
    std::vector<float> since(std::size_t first) {
        std::lock_guard<std::mutex> held(lock);
        return {samples.begin() + static_cast<std::ptrdiff_t>(std::min(first * blockSamples, samples.size())),
                samples.end()};
    }
    // Stops reading; false when the stream had stopped coming before.
    bool stop() {
        stopping = true;
        if (reader.joinable()) reader.join();
        return !broken;
    }

private:
    void record(ChildProcess& program) {
        std::vector<float> block(blockSamples);
        while (!stopping) {
            if (!program.read(block.data(), block.size() * sizeof(float), 20000)) {
                broken = true;
                return;
            }
            std::lock_guard<std::mutex> held(lock);
            samples.insert(samples.end(), block.begin(), block.end());
        }
    }

    std::mutex lock;  // guards samples
    std::vector<float> samples;
    std::atomic<bool> stopping{false}, broken{false};
    std::thread reader;  // last: it uses the rest
};

bool soundIn(const std::vector<float>& samples) {
    return std::any_of(samples.begin(), samples.end(), [](float value) { return value != 0.0f; });
}

// Frames missing from a tone at a level of 8192, which is exactly 0 at no
// two frames in a row: the longest run of frames whose left sample is 0
// (beyond one), and all such frames together.
struct Silence {
    std::size_t longest = 0, total = 0;
};
Silence silenceIn(const std::vector<float>& samples) {
    Silence silence;
    std::size_t run = 0;
    for (std::size_t at = 0; at < samples.size(); at += 2) {
        run = samples[at] == 0.0f ? run + 1 : 0;
        silence.longest = std::max(silence.longest, run);
        silence.total += run > 1 ? 1 + (run == 2) : 0;
    }
    return silence;
}

// Where the tone comes back after a silence of a few ms at least: the block
// that holds the first frame of sound after it, or none.
std::optional<std::size_t> soundAfterSilence(const std::vector<float>& samples) {
    std::size_t run = 0;
    for (std::size_t at = 0; at < samples.size(); at += 2) {
        if (samples[at] == 0.0f) {
            ++run;
        } else if (run >= blockFrames / 2) {
            return at / blockSamples;
        } else {
            run = 0;
        }
    }
    return std::nullopt;
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
    EXPECT_LE(silence.longest, 2 * blockFrames) << "frames of the steady player missing in a row";
    // In all, no more than late packets leave out on a loaded machine (their
    // audio follows in later blocks); a source held off the mixer for 5 s
    // loses all but its newest 100 ms.
    EXPECT_LE(silence.total, 20 * blockFrames) << "frames of the steady player missing in all";
    // Blocks in the pipe at either end of the stretch make a few either way.
    EXPECT_NEAR(static_cast<double>(received), elapsedBlocks, 100) << "blocks against time";
    program->closeInput();
    EXPECT_EQ(program->waitExit(10000), 0);
}

TEST_F(Continuity, AClientThatLostItsDeviceIsReplacedAtTheNextScan) {
    auto player = startPlayers(L"440 8192", 1);
    auto program = startProgram(L"--all-except 0");
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    StreamRecorder stream(*program);
    ASSERT_TRUE(eventually([&] { return stream.blocks() > 0 && soundIn(stream.since(stream.blocks() - 1)); }))
        << "the player was never heard";

    // Lost shortly after a scan has begun, so that the silence lasts most of
    // a rescan period and cannot pass unheard.
    const LONG scans = counts().scans;
    ASSERT_TRUE(eventually([&] { return counts().scans > scans; })) << "scans stopped";
    Sleep(200);
    const std::size_t from = stream.blocks();
    const LONG scansAtLoss = counts().scans;
    InterlockedIncrement(&fake::findSlot(fakeRecord(), player.pids[0])->invalidations);
    EXPECT_TRUE(eventually([&] { return captures(player.pids[0]) == 2; })) << "no new client for the player";
    // The scan under way at the loss, or the next one; the one after begins
    // 2 s later, long after this has been read.
    EXPECT_LE(counts().scans, scansAtLoss + 1) << "the new client came at a later scan than the next";
    std::optional<std::size_t> back;
    EXPECT_TRUE(eventually([&] { return (back = soundAfterSilence(stream.since(from))).has_value(); }))
        << "the player was not heard again";
    ASSERT_TRUE(stream.stop()) << "the stream stopped";
    // In the stream: one rescan period, and the scan's own work on a busy
    // machine.
    EXPECT_LE(back.value_or(0) * 10, 4000u) << "ms from the lost device to the tone";
    RecordProperty("reopenMs", static_cast<int>(back.value_or(0) * 10));

    EXPECT_EQ(captures(player.pids[0]), 2) << "clients started for the player";
    EXPECT_EQ(counts().invalidatedCalls, 1) << "the lost client was polled on";
    EXPECT_EQ(counts().clients, 1) << "the lost client was not released";
    EXPECT_EQ(counts().running, 1);
    program->closeOutput();
    EXPECT_EQ(program->waitExit(30000), 0);
    EXPECT_EQ(counts().clients, 0) << "clients not released";
    EXPECT_EQ(counts().running, 0) << "clients not stopped";
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

}  // namespace
