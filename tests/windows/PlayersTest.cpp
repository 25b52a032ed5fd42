// The shipped exe among players that are real process trees under Wine: who
// it captures in each mode, as its first scan leaves it (read from the fake's
// accounting once "ready" has come), what the parent hears, and its end when
// the parent closes its standard input.
//
//   this test -> A (440 Hz) -> B (500 Hz) -> C (550 Hz, owns a window)
//             -> D (660 Hz)
//             -> V "VoiceMeeterPlayer.exe" (700 Hz) -> W (770 Hz)

#include "FakeWorld.h"

#include <array>

namespace {

enum Member { A, B, C, D, V, W, nobody, theTest };

class Players : public FakeWorld {
protected:
    static void SetUpTestSuite() {
        chains.push_back(startPlayers(L"440 8192 -- 500 8192 -- 550 8192 window", 3));
        chains.push_back(startPlayers(L"660 4096", 1));
        chains.push_back(startPlayers(L"700 8192 -- 770 8192", 2, playerPath(L"VoiceMeeterPlayer.exe")));
        for (const ::Players& chain : chains) pids.insert(pids.end(), chain.pids.begin(), chain.pids.end());
        pids.insert(pids.end(), {0, GetCurrentProcessId()});
    }
    void SetUp() override {
        FakeWorld::SetUp();
        faults().selfSession = 1;  // the exe's own process has a session too
    }
    static std::wstring arguments(bool windowMode, Member self) {
        if (!windowMode) return L"--all-except " + std::to_wstring(pids[self]);
        return L"--window " + chains[0].windows[2] + (self == nobody ? L"" : L" --self " + std::to_wstring(pids[self]));
    }
    static inline std::vector<::Players> chains;  // ended with this process, whose end ends their input
    static inline std::vector<DWORD> pids;  // by Member
};

TEST_F(Players, EachModeCapturesWhomItShouldAndTheyAreHeardMixed) {
    using Tones = std::vector<std::pair<double, double>>;  // Hz, level in the stream
    const struct {
        bool windowMode;
        Member self;
        std::array<LONG, 6> captured;  // A B C D V W
        Tones heard;
    } rows[] = {
        // Tree roots only; an ignored name, but not its child.
        {false, nobody, {1, 0, 0, 1, 0, 1}, Tones{{440, 0.25}, {660, 0.125}, {770, 0.25}, {500, 0}, {700, 0}}},
        {false, A, {0, 0, 0, 1, 0, 1}, {}},        // the named process and its descendants
        {false, B, {0, 0, 0, 1, 0, 1}, {}},        // and its ancestors
        {false, theTest, {0, 0, 0, 0, 0, 0}, {}},  // everything here descends from the test
        {true, nobody, {0, 0, 1, 0, 0, 0}, Tones{{550, 0.25}, {440, 0}, {660, 0}}},
        {true, C, {0, 0, 0, 0, 0, 0}, {}},  // the caller is the window's owner
        {true, B, {0, 0, 0, 0, 0, 0}, {}},  // or its parent
        {true, A, {0, 0, 0, 0, 0, 0}, {}},  // or its grandparent
        {true, D, {0, 0, 1, 0, 0, 0}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(arguments(row.windowMode, row.self));
        SetUp();
        auto program = startProgram(arguments(row.windowMode, row.self));
        ASSERT_TRUE(program->waitReady(30000)) << program->error();
        for (Member who : {A, B, C, D, V, W}) EXPECT_EQ(captures(pids[who]), row.captured[who]) << "member " << who;
        EXPECT_EQ(counts().unslottedCaptures, 0) << "the exe captured itself";
        std::vector<float> samples(110 * 960);
        ASSERT_TRUE(row.heard.empty() || program->read(samples.data(), samples.size() * sizeof(float), 20000));
        // The first blocks go out before the sources' first packets are in.
        samples.erase(samples.begin(), samples.begin() + 20 * 960);
        for (auto [hz, level] : row.heard) EXPECT_NEAR(steadyLevel(samples, hz), level, 0.02) << hz << " Hz";
        program->closeInput();
        EXPECT_EQ(program->waitExit(10000), 0) << "standard input closed";
    }
}

}  // namespace
