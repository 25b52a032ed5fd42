// What --list says of real players: each by its pid here (inside a sandbox
// too), its program, the top of its application, a Flatpak app's id, an
// audio router marked ignored, a paused player as not playing, and no event
// sound. Its sandboxed players
// claim inner pids as RealPlayersTest's do, so it runs in the same CTest part.

#include "harness/Processes.h"
#include "harness/Sound.h"

#include "ProgramProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Json = nlohmann::json;

struct ListedRow {
    Player player;
    bool pipewireOnly;
    const char* member;  // the comm of the process listed, when not the one started but one of its group
    bool appIsStarted;   // app_pid is the one started (a parent of the same program)
    Json exe, appId;
    bool ignored;
};

const Tone tone{440, 0.1};
const ListedRow listedRows[] = {
    {{Launch::Direct, tone}, false, nullptr, false, "pacat", nullptr, false},
    {{Launch::PwPlay, tone}, true, nullptr, false, "pw-cat", nullptr, false},  // pw-play links to pw-cat
    {{Launch::InSandbox, tone}, false, "pacat", false, "pacat", nullptr, false},
    {{Launch::InFlatpakLike, tone}, false, "pacat", false, "pacat", sandboxAppId, false},
    {{Launch::ParentAndChild, tone, tone}, false, "two_stream_play", true, "two_stream_player", nullptr, false},
    // comm "easyeffects" through a link; the exe link names pacat.
    {{Launch::AsIgnoredName, tone}, false, nullptr, false, "pacat", nullptr, true},
};

const Json* entryOf(const Json& list, pid_t pid) {
    const auto found = std::find_if(list.begin(), list.end(), [&](const Json& entry) { return entry["pid"] == pid; });
    return found == list.end() ? nullptr : &*found;
}

TEST(RealPlayersListed, EachPlayerByItsHostPidProgramApplicationAndAppId) {
    const char* kind = std::getenv("VINTRA_SOUND_SERVER_KIND");
    const bool pipewire = kind && std::string(kind) == "pipewire";
    Players players;
    std::vector<std::pair<const ListedRow*, pid_t>> started;
    std::vector<pid_t> listed;
    for (const ListedRow& row : listedRows) {
        if (!row.pipewireOnly || pipewire) {
            started.emplace_back(&row, players.start(row.player));
            listed.push_back(row.member ? memberRunning(started.back().second, row.member) : started.back().second);
        }
    }
    const pid_t eventSound = players.start({"paplay", "--property=media.role=event", toneWav(tone)});
    // Paused: GStreamer's pulsesink corks its stream while the pipeline is
    // PAUSED, and a second branch that never prerolls holds it there.
    const pid_t paused =
        players.start({"gst-launch-1.0", "-q", "audiotestsrc", "!", "pulsesink", "appsrc", "!", "fakesink"});
    listed.push_back(paused);
    // Asked again until every player has reached the server.
    Json list;
    for (int tries = 0; tries < 20 && !std::all_of(listed.begin(), listed.end(), [&](pid_t pid) { return entryOf(list, pid); }); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tries == 0 ? 0 : 500));
        ProgramProcess run({VINTRA_LINUX_PROGRAM, "--list"});
        list = Json::parse(run.readLine(20), nullptr, false);
        ASSERT_EQ(run.waitExit(10), 0);
        ASSERT_EQ(run.errorText(), "");
        ASSERT_TRUE(list.is_array() && run.readLine(0).empty()) << "not one line of a JSON array: " << list;
    }
    for (std::size_t i = 0; i < started.size(); ++i) {
        const ListedRow& row = *started[i].first;
        const Json* entry = entryOf(list, listed[i]);
        ASSERT_TRUE(entry) << "row " << i << " not in " << list;
        EXPECT_EQ((*entry)["playing"], true) << *entry;
        EXPECT_EQ((*entry)["app_pid"], row.appIsStarted ? started[i].second : listed[i]) << *entry;
        EXPECT_EQ((*entry)["exe"], row.exe) << *entry;
        EXPECT_EQ((*entry)["app_id"], row.appId) << *entry;
        EXPECT_EQ((*entry)["ignored"], row.ignored) << *entry;
        EXPECT_TRUE((*entry)["name"].is_string() && (*entry)["media"].is_string()) << *entry;
    }
    const Json* pausedEntry = entryOf(list, paused);
    ASSERT_TRUE(pausedEntry) << list;
    EXPECT_EQ((*pausedEntry)["playing"], false) << *pausedEntry;
    EXPECT_EQ((*pausedEntry)["exe"], "gst-launch-1.0") << *pausedEntry;
    EXPECT_FALSE(entryOf(list, eventSound)) << list;
    EXPECT_EQ(list.size(), started.size() + 2) << "the child's parent plays too, and the paused player: " << list;
}

}  // namespace
