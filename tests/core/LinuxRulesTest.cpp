// The Linux program's OS-free rules: whose stream it is, which playback
// streams are recorded, and float fragments into the FIFO under the cap.

#include "capture/PacketConversion.h"
#include "selection/StreamRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
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

const StreamOwner server{}, unknownPlayer{OwnerKind::Unknown, 0, "player"},
    unknownRouter{OwnerKind::Unknown, 0, "EasyEffects"};
StreamOwner process(std::uint32_t id) { return {OwnerKind::Process, id, ""}; }

// index, sink, owner, event sound
const std::vector<PlaybackStream> streams = {
    {1, 0, process(200), false}, {2, 0, process(220), false}, {3, 0, process(400), false},
    {4, 0, server, false},       {5, 0, process(200), true},  {6, 0, process(500), false},
    {7, 0, process(400), false}, {8, 0, process(300), false}, {9, 0, process(310), false},
    {10, 0, unknownPlayer, false}, {11, 0, unknownRouter, false}, {12, 0, unknownPlayer, true},
};

TEST(StreamRule, EachStreamAloneByProcessTree) {
    const ProcessTable table = sampleTable();
    struct Case {
        const char* what;
        StreamSelection selection;  // allExcept, target, self, own
        StreamIndexSet wanted;
    };
    const Case cases[] = {
        {"window: target and grandchild, not its event sound, the server's stream or an unknown process",
         {false, 200, 300, 310}, {1, 2}},
        {"window: a descendant's tree only", {false, 210, 300, 310}, {2}},
        {"window: self is the target", {false, 200, 200, 310}, {}},
        {"window: self is an ancestor of the target", {false, 220, 200, 310}, {}},
        {"all-except: parent and child each kept, both streams of one process, an unknown "
         "process; not self, this program, an ignored name (known or claimed), an event or no process",
         {true, 0, 300, 310}, {1, 2, 3, 7, 10}},
        {"all-except: the named process's descendants and ancestors dropped",
         {true, 0, 210, 310}, {3, 7, 8, 10}},
        {"targets: two pids together, the window's guarded one out",
         {false, 300, 300, 310, {{210, 400}}}, {2, 3, 7}},
        {"targets: a program's every process with its tree, not the server's, an event or an unknown process",
         {false, 0, 0, 310, {{}, {u"app"}}}, {1, 2, 3, 6, 7, 8, 9}},
        {"all-except: several pids and a program; the unknown process claiming it too",
         {true, 0, 0, 310, {{}, {}, {210, 400}, {u"player"}}}, {8}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wantedStreams(table, streams, c.selection), c.wanted) << c.what;
    }
}

// Processes as /proc shows them: id -> comm, exe base name, innermost id in
// a nested pid namespace (0: in ours).
struct FakeProcesses final : ProcessLookup {
    struct Process { std::string command, executable; std::uint32_t innerId; };
    std::map<std::uint32_t, Process> table;
    std::optional<ProcessNames> namesOf(std::uint32_t id) override {
        const auto found = table.find(id);
        if (found == table.end()) {
            return std::nullopt;
        }
        return ProcessNames{found->second.command, found->second.executable};
    }
    std::vector<std::uint32_t> nestedProcessesWithId(std::uint32_t innerId) override {
        std::vector<std::uint32_t> ids;
        for (const auto& [id, process] : table) {
            if (process.innerId == innerId) {
                ids.push_back(id);
            }
        }
        return ids;
    }
};

TEST(StreamOwnerRule, ClaimsStandOnlyWhereTheProcessRunsTheClaimingProgram) {
    // 1 init; 2 a kernel thread; 700 pacat; 710 paplay (its exe is pacat);
    // 720 a program with a 16-byte name; 800 pipewire-pulse;
    // 900 bwrap -> 901 pacat (2 inside) and 950 unshare -> 951 pw-play (1
    // inside); 960 and 970: the same program at the same inner id in two
    // sandboxes.
    FakeProcesses processes;
    processes.table = {
        {1, {"init", "init", 0}},          {2, {"kthreadd", "", 0}},
        {700, {"pacat", "pacat", 0}},      {710, {"paplay", "pacat", 0}},
        {720, {"gst-launch-1.0-", "", 0}}, {800, {"pipewire-pulse", "pipewire", 0}},
        {900, {"bwrap", "bwrap", 0}},      {901, {"pacat", "pacat", 2}},
        {951, {"pw-play", "pw-cat", 1}},   {960, {"chromium", "chromium", 130}},
        {970, {"chromium", "chromium", 130}},
    };
    auto claim = [](std::uint32_t id, const char* binary) { return ProcessClaim{id, binary}; };
    struct Case {
        const char* what;
        OwnerReport report;
        StreamOwner owner;
    };
    const Case cases[] = {
        {"the stream's own claim", {claim(700, "pacat"), true, claim(800, "x")}, process(700)},
        {"exe name behind another name", {claim(710, "pacat")}, process(710)},
        {"comm is cut at 15 bytes", {claim(720, "gst-launch-1.0-x")}, process(720)},
        {"no binary: nothing to check", {claim(700, "")}, process(700)},
        {"binary taken from the client", {claim(901, ""), true, claim(0, "pacat")}, process(901)},
        {"pid 2 inside a sandbox is not the kernel thread", {claim(2, "pacat")}, process(901)},
        {"pid 1 inside is not init", {claim(1, "pw-play")}, process(951)},
        {"the same inner id twice: unknown", {claim(130, "chromium")}, {OwnerKind::Unknown, 0, "chromium"}},
        {"no such process anywhere", {claim(4242, "vlc")}, {OwnerKind::Unknown, 0, "vlc"}},
        {"a claim that names another program", {claim(700, "vlc")}, {OwnerKind::Unknown, 0, "vlc"}},
        {"the client's kernel id before its claim", {{}, true, claim(1, "pw-cat"), 951}, process(951)},
        {"a relayed client's kernel id is the relay's", {{}, true, claim(700, "pacat"), 800, true}, process(700)},
        {"a relayed client's claim is checked", {{}, true, claim(2, "pacat"), 800, true}, process(901)},
        {"no claim and no client: the server's own", {}, server},
        {"a client that claims nothing", {{}, true, {}}, server},
    };
    for (const Case& c : cases) {
        const StreamOwner owner = resolveStreamOwner(c.report, processes);
        EXPECT_EQ(owner.kind, c.owner.kind) << c.what;
        EXPECT_EQ(owner.processId, c.owner.processId) << c.what;
        if (c.owner.kind == OwnerKind::Unknown) {
            EXPECT_EQ(owner.binary, c.owner.binary) << c.what;
        }
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
