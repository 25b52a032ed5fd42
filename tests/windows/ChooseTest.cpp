// Choosing what to hear, as a parent does it with the shipped exe: processes
// by id and programs by name to capture, or to leave out of everything that
// plays. Who is captured is read from the fake's accounting once "ready" has
// come; each captured player's tone must be heard, every other one not.
//
//   this test -> A "Choosy.exe" (440 Hz) -> B (500 Hz) -> C (550 Hz, owns a window)
//             -> D "Tuner.exe" (660 Hz) -> E (770 Hz)
//             -> F "Choosy.exe" (880 Hz)

#include "FakeWorld.h"

#include <array>
#include <initializer_list>

namespace {

enum Member { A, B, C, D, E, F };
constexpr std::array<double, 6> tones{440, 500, 550, 660, 770, 880};

class Choose : public FakeWorld {
protected:
    static void SetUpTestSuite() {
        chains.push_back(startPlayers(L"440 8192 -- 500 8192 -- 550 8192 window", 3, playerPath(L"Choosy.exe")));
        chains.push_back(startPlayers(L"660 8192 -- 770 8192", 2, playerPath(L"Tuner.exe")));
        chains.push_back(startPlayers(L"880 8192", 1, playerPath(L"Choosy.exe")));
        for (const Players& chain : chains) pids.insert(pids.end(), chain.pids.begin(), chain.pids.end());
    }
    void SetUp() override {
        FakeWorld::SetUp();
        faults().selfSession = 1;  // the exe's own process has a session too
    }
    // "{A}" in `pattern` stands for A's pid, "{C.window}" for C's window.
    static std::wstring withPids(std::wstring pattern) {
        for (Member who : {A, B, C, D, E, F}) {
            const std::wstring mark = L"{" + std::wstring(1, static_cast<wchar_t>(L'A' + who)) + L"}";
            for (auto at = pattern.find(mark); at != std::wstring::npos; at = pattern.find(mark))
                pattern.replace(at, mark.size(), std::to_wstring(pids[who]));
        }
        const std::wstring window = L"{C.window}";
        if (auto at = pattern.find(window); at != std::wstring::npos)
            pattern.replace(at, window.size(), chains[0].windows[2]);
        return pattern;
    }
    static inline std::vector<Players> chains;  // ended with this process, whose end ends their input
    static inline std::vector<DWORD> pids;      // by Member
};

TEST_F(Choose, EachChoiceIsHeardAndNothingElse) {
    const struct {
        const wchar_t* arguments;
        std::initializer_list<Member> captured;
    } rows[] = {
        {L"--pid {B}", {B}},
        {L"--pid {A} --pid {B} --pid {F}", {A, F}},  // B's audio comes with A's tree
        {L"--pid {B} --pid {D} --self {A}", {D}},     // the caller's descendants are never captured
        {L"--window {C.window} --pid {D}", {C, D}},
        {L"--exe TUNER", {D}},                         // the program itself, not its children's
        {L"--exe choosy.exe", {A, F}},
        {L"--exe Choosy --self {A}", {F}},
        {L"--except-pid {B} --except-pid {D}", {F}},  // B with its ancestors and descendants, D with its
        {L"--except-exe tuner", {A, E, F}},           // the program itself, not its children
        {L"--all-except {C} --except-exe Tuner.exe", {E, F}},
    };
    for (const auto& row : rows) {
        const std::wstring arguments = withPids(row.arguments);
        SCOPED_TRACE(arguments);
        SetUp();
        auto program = startProgram(arguments);
        ASSERT_TRUE(program->waitReady(30000)) << program->error();
        std::array<bool, 6> wanted{};
        for (Member who : row.captured) wanted[who] = true;
        for (Member who : {A, B, C, D, E, F}) EXPECT_EQ(captures(pids[who]), wanted[who] ? 1 : 0) << "member " << who;
        EXPECT_EQ(counts().unslottedCaptures, 0) << "the exe captured itself";
        std::vector<float> samples(110 * 960);
        ASSERT_TRUE(program->read(samples.data(), samples.size() * sizeof(float), 20000));
        // The first blocks go out before the sources' first packets are in.
        samples.erase(samples.begin(), samples.begin() + 20 * 960);
        for (Member who : {A, B, C, D, E, F})
            EXPECT_NEAR(steadyLevel(samples, tones[who]), wanted[who] ? 0.25 : 0, 0.02) << tones[who] << " Hz";
        program->closeInput();
        EXPECT_EQ(program->waitExit(10000), 0) << "standard input closed";
    }
}

// A program is looked for at every scan, so a restart is caught; a --pid
// stays wanted after its process has ended, as a window's process does.
TEST_F(Choose, ProgramsAreFoundAgainAndAPidsSourceOutlivesItsProcess) {
    Players early = startPlayers(L"440 8192", 1);
    auto program = startProgram(L"--pid " + std::to_wstring(early.pids[0]) + L" --exe late");
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    EXPECT_EQ(captures(early.pids[0]), 1);
    early.top.reset();
    Players late = startPlayers(L"500 8192", 1, playerPath(L"Late.exe"));
    ASSERT_NE(late.pids[0], early.pids[0]);
    EXPECT_TRUE(eventually([&] { return captures(late.pids[0]) == 1; })) << "a program started later was not found";
    EXPECT_EQ(counts().stops, 0) << "the --pid's source was closed when its process ended";
    late.top.reset();
    Players again = startPlayers(L"550 8192", 1, playerPath(L"Late.exe"));
    EXPECT_TRUE(eventually([&] { return captures(again.pids[0]) == 1; })) << "a restarted program was not found";
    EXPECT_EQ(counts().stops, 1) << "the ended program's source, and only it, closed";
}

}  // namespace
