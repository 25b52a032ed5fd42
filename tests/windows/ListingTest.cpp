// "--list" as a parent reads it from the shipped exe: one line of JSON with
// what the fake's sessions say of themselves, and with "--follow" a new line
// when that changes, until the parent closes either pipe.

#include "FakeWorld.h"

#include <nlohmann/json.hpp>

#include <map>

namespace {

class Listing : public FakeWorld {
protected:
    void SetUp() override {
        FakeWorld::SetUp();
        faults().selfSession = 1;  // the exe's own process has a session too
    }
};

// The line's objects by pid; an empty map for a line that is no JSON array.
std::map<DWORD, nlohmann::json> byPid(const std::string& line) {
    std::map<DWORD, nlohmann::json> objects;
    const nlohmann::json list = nlohmann::json::parse(line, nullptr, false);
    for (const nlohmann::json& object : list.is_array() ? list : nlohmann::json::array()) {
        objects[object.value("pid", 0u)] = object;
    }
    return objects;
}

TEST_F(Listing, OneLineWithWhatEachSessionSaysOfItself) {
    // A quote, a tab, a control character and an unpaired surrogate.
    Players named =
        startPlayers(L"440 8192 name \"Tuner \\\"Live\\\"\t\x01\xD800!\" icon C:\\Icons\\t.ico,-5 -- 500 8192", 2);
    Players resource =
        startPlayers(L"550 8192 name @%SystemRoot%\\System32\\AudioSrv.dll,-202", 1, playerPath(L"Tuner.exe"));
    Players router = startPlayers(L"660 8192", 1, playerPath(L"VoiceMeeterPlayer.exe"));
    auto program = startProgram(L"--list");
    const std::string line = program->readLine(30000);
    char more = 0;
    EXPECT_FALSE(program->read(&more, 1, 5000)) << "more after the line";
    EXPECT_EQ(program->waitExit(30000), 0);
    EXPECT_EQ(program->error(), "");

    const auto entry = [](DWORD pid, DWORD app, const char* exe, nlohmann::json name, nlohmann::json icon,
                          bool ignored) {
        return nlohmann::json{{"pid", pid},   {"app_pid", app},   {"exe", exe},         {"name", name},
                              {"media", nullptr}, {"icon", icon}, {"app_id", nullptr}, {"ignored", ignored}};
    };
    const DWORD first = named.pids[0], child = named.pids[1], tuner = resource.pids[0], voice = router.pids[0];
    const std::map<DWORD, nlohmann::json> expected{
        {first, entry(first, first, "player.exe", "Tuner \"Live\"\t\x01\xEF\xBF\xBD!", "C:\\Icons\\t.ico,-5", false)},
        {child, entry(child, first, "player.exe", nullptr, nullptr, false)},  // nothing set: empty texts
        {tuner, entry(tuner, tuner, "tuner.exe", nullptr, nullptr, false)},   // a resource reference is no name
        {voice, entry(voice, voice, "voicemeeterplayer.exe", nullptr, nullptr, true)},
    };
    EXPECT_EQ(byPid(line), expected) << "the exe itself is never listed";
    EXPECT_EQ(counts().objects, 0) << "references the list kept";
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

TEST_F(Listing, FollowPrintsEachChangeUntilEitherPipeCloses) {
    for (bool byInput : {true, false}) {
        SCOPED_TRACE(byInput ? "standard input closed" : "standard output closed");
        auto program = startProgram(L"--list --follow");
        const std::string first = program->readLine(30000);
        ASSERT_FALSE(first.empty()) << program->error();
        Players started = startPlayers(L"440 8192", 1);
        const std::string next = program->readLine(20000);
        EXPECT_EQ(byPid(next).size(), byPid(first).size() + 1) << first << "\n" << next;
        EXPECT_TRUE(byPid(next).contains(started.pids[0])) << next;
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

}  // namespace
