// Choosing what to hear, as a parent does it with the shipped exe: argument
// lists with the new options and their outcomes (the usage line and code 1,
// "ready", or the list of what plays and code 0); who is captured, read from the
// fake's accounting once "ready" has come, each captured player's tone heard
// and every other not; and what the list says of each process.
//
//   this test -> A "Choosy.exe" (440 Hz, a name and an icon) -> B (500 Hz) -> C (550 Hz, owns a window)
//             -> D "Tuner.exe" (660 Hz, a resource as its name) -> E (770 Hz, an inactive session)
//             -> F "Choosy.exe" (880 Hz)

#include "FakeWorld.h"

#include <nlohmann/json.hpp>

#include <array>
#include <map>

namespace {

enum Member { A, B, C, D, E, F };
constexpr Member members[]{A, B, C, D, E, F};
constexpr double tones[]{440, 500, 550, 660, 770, 880};

class Choose : public FakeWorld {
protected:
    static void SetUpTestSuite() {
        // A's name has a quote, a tab, a control character and an unpaired surrogate.
        chains.push_back(startPlayers(L"440 8192 name \"Tuner \\\"Live\\\"\t\x01\xD800!\" icon C:\\t.ico,-5 -- "
                                      L"500 8192 -- 550 8192 window", 3, playerPath(L"Choosy.exe")));
        chains.push_back(startPlayers(L"660 8192 name @%SystemRoot%\\System32\\AudioSrv.dll,-202 -- 770 8192", 2,
                                      playerPath(L"Tuner.exe")));
        chains.push_back(startPlayers(L"880 8192", 1, playerPath(L"Choosy.exe")));
        for (const Players& chain : chains) pids.insert(pids.end(), chain.pids.begin(), chain.pids.end());
        // It holds a session and plays nothing just now, as many idle apps do.
        fake::findSlot(fakeRecord(), pids[E])->state = fake::inactive;
    }
    void SetUp() override {
        FakeWorld::SetUp();
        faults().selfSession = 1;  // the exe's own process has a session too, and is never listed
    }
    static std::wstring pid(Member who) { return std::to_wstring(pids[who]); }
    static inline std::vector<Players> chains;  // ended with this process, whose end ends their input
    static inline std::vector<DWORD> pids;      // by Member
};

// A list line's objects by pid; none for a line that is no JSON array.
std::map<DWORD, nlohmann::json> byPid(const std::string& line) {
    std::map<DWORD, nlohmann::json> objects;
    const nlohmann::json list = nlohmann::json::parse(line, nullptr, false);
    for (const nlohmann::json& object : list.is_array() ? list : nlohmann::json::array()) {
        objects[object.value("pid", 0u)] = object;
    }
    return objects;
}

TEST_F(Choose, EachArgumentListHasItsOutcome) {
    const struct {
        Member who, app;
        const char* exe;
        nlohmann::json name, icon;
        bool playing;
    } listedPlayers[] = {
        {A, A, "choosy.exe", "Tuner \"Live\"\t\x01\xEF\xBF\xBD!", "C:\\t.ico,-5", true},
        {B, B, "player.exe", nullptr, nullptr, true},  // nothing set: empty texts
        {C, B, "player.exe", nullptr, nullptr, true},
        {D, D, "tuner.exe", nullptr, nullptr, true},  // a resource reference is no name
        {E, E, "player.exe", nullptr, nullptr, false},  // listed all the same
        {F, F, "choosy.exe", nullptr, nullptr, true},
    };
    std::map<DWORD, nlohmann::json> list;
    for (const auto& entry : listedPlayers) {
        list[pids[entry.who]] = {{"pid", pids[entry.who]}, {"app_pid", pids[entry.app]}, {"exe", entry.exe},
                                 {"name", entry.name}, {"media", nullptr}, {"icon", entry.icon},
                                 {"app_id", nullptr}, {"ignored", false}, {"playing", entry.playing}};
    }
    const std::wstring window = chains[0].windows[2];
    enum Outcome { usageLine, ready, printsList };
    const struct {
        std::wstring arguments;
        Outcome outcome;
        std::vector<Member> captured;
    } rows[] = {
        // The old lists keep their answers: Players.* and WithoutFake.* hold them.
        {L"--pid " + pid(B), ready, {B}},
        {L"--pid " + pid(A) + L" --pid " + pid(B) + L" --pid " + pid(F), ready, {A, F}},  // B is in A's tree
        {L"--pid " + pid(B) + L" --pid " + pid(D) + L" --self " + pid(A), ready, {D}},  // never the caller's tree
        {L"--window " + window + L" --pid " + pid(D), ready, {C, D}},
        {L"--exe TUNER", ready, {D}},  // the program itself, not its children
        {L"--exe choosy.exe --self " + pid(A), ready, {F}},
        {L"--exe notyet", ready, {}},  // heard once it plays
        {L"--except-pid " + pid(B) + L" --except-pid " + pid(D), ready, {F}},  // with ancestors and descendants
        {L"--except-exe tuner", ready, {A, E, F}},                              // the program itself only
        {L"--all-except " + pid(C) + L" --except-exe Tuner.exe", ready, {E, F}},
        {L"--pid 4000000000", usageLine, {}},  // no such process
        {L"--list", printsList, {}},
        {L"--pid 4000000000 --list --self 3", printsList, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        SetUp();
        auto program = startProgram(row.arguments);
        if (row.outcome == usageLine) {
            expectOnlyOnStandardError(*program, 1,
                                      "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n");
        } else if (row.outcome == printsList) {
            EXPECT_EQ(byPid(program->readLine(30000)), list);
            char more = 0;
            EXPECT_FALSE(program->read(&more, 1, 5000)) << "more than one line";
            EXPECT_EQ(program->waitExit(30000), 0);
            EXPECT_EQ(program->error(), "");
            EXPECT_EQ(counts().objects, 0) << "references the list kept";
        } else {
            ASSERT_TRUE(program->waitReady(30000)) << program->error();
            std::vector<float> samples(110 * 960);
            ASSERT_TRUE(program->read(samples.data(), samples.size() * sizeof(float), 20000));
            // The first blocks go out before the sources' first packets are in.
            samples.erase(samples.begin(), samples.begin() + 20 * 960);
            std::array<bool, 6> wanted{};
            for (Member who : row.captured) wanted[who] = true;
            for (Member who : members) {
                EXPECT_EQ(captures(pids[who]), wanted[who] ? 1 : 0) << "member " << who;
                EXPECT_NEAR(steadyLevel(samples, tones[who]), wanted[who] ? 0.25 : 0, 0.02) << tones[who] << " Hz";
            }
            program->closeInput();
            EXPECT_EQ(program->waitExit(10000), 0) << "standard input closed";
        }
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

TEST_F(Choose, ListFollowPrintsEachChangeUntilEitherPipeCloses) {
    for (bool byInput : {true, false}) {
        SCOPED_TRACE(byInput ? "standard input closed" : "standard output closed");
        auto program = startProgram(L"--list --follow");
        const std::string first = program->readLine(30000);
        Players started = startPlayers(L"990 8192", 1);
        const std::string next = program->readLine(20000);
        EXPECT_EQ(byPid(next).size(), byPid(first).size() + 1) << first << "\n" << next;
        EXPECT_TRUE(byPid(next).contains(started.pids[0])) << next;
        EXPECT_EQ(program->readLine(5000), "") << "a line with nothing changed";
        if (byInput) {
            program->closeInput();
        } else {
            program->closeOutput();
            started.top.reset();  // a change, whose line meets the broken pipe
        }
        EXPECT_EQ(program->waitExit(20000), 0);
        EXPECT_EQ(program->error(), "");
    }
}

TEST(WithoutFake, ListingIsUnsupportedUnderStockWine) {
    for (const wchar_t* arguments : {L"--list", L"--list --follow"}) {
        SCOPED_TRACE(arguments);
        expectOnlyOnStandardError(*startProgram(arguments), 2, "unsupported 0x80070002\n");
    }
}

}  // namespace
