// The Linux program's OS-free rules: which playback streams are recorded, and
// float fragments into the FIFO under the cap.

#include "capture/PacketConversion.h"
#include "selection/StreamRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

namespace {

// 100 shell -> 200 browser -> 210 -> 220;  100 -> 300 caller -> 310 this
// program;  100 -> 400 player;  100 -> 500 easyeffects (an ignored name).
ProcessTable sampleTable() {
    ProcessTable table;
    const std::uint32_t tree[][2] = {{100, 1}, {200, 100}, {210, 200}, {220, 210},
                                     {300, 100}, {310, 300}, {400, 100}, {500, 100}};
    for (const auto& [pid, parent] : tree) {
        table.record(pid, parent, pid == 500 ? u"EasyEffects" : u"app");
    }
    return table;
}

// index, sink, process, event sound
const std::vector<PlaybackStream> streams = {
    {1, 0, 200, false}, {2, 0, 220, false}, {3, 0, 400, false}, {4, 0, 0, false},
    {5, 0, 200, true},  {6, 0, 500, false}, {7, 0, 400, false}, {8, 0, 300, false},
    {9, 0, 310, false},
};

TEST(StreamRule, EachStreamAloneByProcessTree) {
    const ProcessTable table = sampleTable();
    struct Case {
        const char* what;
        StreamSelection selection;  // allExcept, target, self, own
        StreamIndexSet wanted;
    };
    const Case cases[] = {
        {"window: target and grandchild, not its event sound or the server's stream",
         {false, 200, 300, 310}, {1, 2}},
        {"window: a descendant's tree only", {false, 210, 300, 310}, {2}},
        {"window: self is the target", {false, 200, 200, 310}, {}},
        {"window: self is an ancestor of the target", {false, 220, 200, 310}, {}},
        {"all-except: parent and child each kept, both streams of one process, "
         "not self, this program, an ignored name, an event or no process",
         {true, 0, 300, 310}, {1, 2, 3, 7}},
        {"all-except: the named process's descendants and ancestors dropped",
         {true, 0, 210, 310}, {3, 7, 8}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wantedStreams(table, streams, c.selection), c.wanted) << c.what;
    }
}

TEST(FloatAppend, SameAsAppendingEachThenTrimmingToTheCap) {
    struct Case {
        std::size_t before, samples;
        bool hole;
    };
    const Case cases[] = {{0, 960, false}, {9000, 1200, false}, {500, 12000, false},
                          {9590, 960, true}, {0, 0, false}};
    for (const Case& c : cases) {
        SampleFifo fifo;
        std::deque<float> expected;
        for (std::size_t i = 0; i < c.before; ++i) {
            fifo.append(-1.0f - static_cast<float>(i));
            expected.push_back(-1.0f - static_cast<float>(i));
        }
        // One byte in, so that the floats are misaligned as a server's may be.
        std::vector<unsigned char> bytes(1 + c.samples * sizeof(float));
        for (std::size_t i = 0; i < c.samples; ++i) {
            const float value = c.hole ? 0.0f : 0.25f + static_cast<float>(i);
            std::memcpy(bytes.data() + 1 + i * sizeof(float), &value, sizeof value);
            expected.push_back(value);
        }
        while (expected.size() > sampleFifoCap) {
            expected.pop_front();
        }
        appendFloatSamples(fifo, c.hole ? nullptr : bytes.data() + 1, c.samples);
        std::vector<float> got;
        for (auto run = fifo.frontRun(); !run.empty(); fifo.popFront(run.size()), run = fifo.frontRun()) {
            got.insert(got.end(), run.begin(), run.end());
        }
        EXPECT_EQ(got, std::vector<float>(expected.begin(), expected.end()))
            << "before " << c.before << ", samples " << c.samples;
    }
}

}  // namespace
