// A playing app's sound as the parent hears it from the shipped exe: a
// player whose activation hangs holds up no one else's sound.

#include "FakeWorld.h"

#include <algorithm>
#include <atomic>
#include <mutex>
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

}  // namespace
