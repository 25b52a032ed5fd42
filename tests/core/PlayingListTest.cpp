// Programs by name, the top of an application, and the list of what plays
// as one line of JSON whatever the names hold.

#include "selection/IgnoredNames.h"
#include "selection/PlayingList.h"
#include "selection/ProgramNames.h"

#include <gtest/gtest.h>

namespace {

// 1 shell -> 10 browser -> 11 browser -> 12 browser; 1 -> 20 player;
// 30 and 31 each other's parent, both "loop"; 40 a router by name.
ProcessTable browserTable() {
    ProcessTable table;
    for (auto [id, parent, name] : std::initializer_list<std::tuple<std::uint32_t, std::uint32_t, std::u16string>>{
             {1, 0, u"shell"}, {10, 1, u"Browser"}, {11, 10, u"browser"}, {12, 11, u"browser"}, {20, 1, u"player"},
             {30, 31, u"loop"}, {31, 30, u"loop"}, {40, 1, std::u16string(ignoredNamePrefixes[0])}}) {
        table.record(id, parent, name);
    }
    return table;
}

}  // namespace

TEST(ProgramNames, MatchCaseInsensitivelyAsEachSystemNamesPrograms) {
    ProcessTable table;
    table.record(1, 0, u"Player.EXE");
    table.record(2, 0, u"averyveryverylo");  // Linux comm: the first 15 bytes
    table.record(3, 0, u"renamed");
    table.executables[3] = u"RealName";
    EXPECT_TRUE(runsProgram(table, 1, programKey(u"player.exe")));
    EXPECT_FALSE(runsProgram(table, 1, programKey(u"play")));
    EXPECT_FALSE(runsProgram(table, 9, programKey(u"player.exe")));
#ifdef _WIN32
    EXPECT_TRUE(runsProgram(table, 1, programKey(u"PLAYER")));  // with or without ".exe"
#else
    EXPECT_TRUE(runsProgram(table, 2, programKey(u"AVeryVeryVeryLongName")));
    EXPECT_FALSE(runsProgram(table, 2, programKey(u"averyveryver")));
    EXPECT_TRUE(runsProgram(table, 3, programKey(u"realname")));  // the executable
    EXPECT_TRUE(runsProgram(table, 3, programKey(u"Renamed")));   // or comm
    EXPECT_TRUE(programOf(table, 3) == u"RealName");
#endif
}

TEST(ProgramNames, ApplicationIsTheTopOfItsUnbrokenLineOfTheSameProgram) {
    const ProcessTable table = browserTable();
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{12, 10}, {11, 10}, {10, 10}, {20, 20}, {99, 99}};
    for (auto [pid, application] : cases) {
        EXPECT_EQ(applicationProcessOf(table, pid), application) << pid;
    }
    // A cycle of the same program ends the walk within it.
    EXPECT_TRUE(applicationProcessOf(table, 30) == 30 || applicationProcessOf(table, 30) == 31);
}

TEST(PlayingList, OneEntryPerProcessThenEachUnknownStream) {
    const ProcessTable table = browserTable();
    const PlayingReport reports[] = {
        {12, "", "Browser", "Song A", std::nullopt, false},
        {12, "", std::nullopt, "Song B", "web-browser", true},  // one of its streams plays
        {20, "", std::nullopt, std::nullopt, std::nullopt, false},
        {7, "", "Me", std::nullopt, std::nullopt, true},  // this program
        {40, "", std::nullopt, std::nullopt, std::nullopt, true},
        {std::nullopt, bytesOfName(ignoredNamePrefixes[1]), "Router", std::nullopt, std::nullopt, true},
        {std::nullopt, "", std::nullopt, std::nullopt, std::nullopt, false},
    };
    const auto entries = playingEntries(table, reports, 7, [](const std::u16string& name) { return bytesOfName(name); });
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].pid, 12u);
    EXPECT_EQ(entries[0].appPid, 10u);
    EXPECT_EQ(entries[0].exe, "browser");
    EXPECT_EQ(entries[0].name, "Browser");
    EXPECT_EQ(entries[0].media, "Song A");
    EXPECT_EQ(entries[0].icon, "web-browser");
    EXPECT_TRUE(entries[0].playing);
    EXPECT_EQ(entries[1].pid, 20u);
    EXPECT_FALSE(entries[1].ignored || entries[1].playing);
    EXPECT_EQ(entries[2].pid, 40u);
    EXPECT_TRUE(entries[2].ignored);
    EXPECT_FALSE(entries[3].pid || entries[3].appPid);
    EXPECT_TRUE(entries[3].ignored && entries[3].playing);
    EXPECT_EQ(entries[3].name, "Router");
    EXPECT_FALSE(entries[4].exe || entries[4].playing);
}

TEST(PlayingList, EveryNameEscapedOnOneLine) {
    PlayingEntry strange;
    strange.pid = 5;
    strange.appPid = 4;
    strange.exe = "a\"b\\c";
    strange.name = "line\nbreak\ttab\x01";
    strange.media = "bad \xff\xfe utf-8 \xe2\x82";
    strange.icon = "caf\xc3\xa9";
    strange.ignored = true;
    strange.playing = true;
    const PlayingEntry entries[] = {strange, PlayingEntry{}};
    EXPECT_EQ(playingListLine(entries),
              "[{\"pid\":5,\"app_pid\":4,\"exe\":\"a\\\"b\\\\c\",\"name\":\"line\\nbreak\\ttab\\u0001\","
              "\"media\":\"bad \xef\xbf\xbd\xef\xbf\xbd utf-8 \xef\xbf\xbd\",\"icon\":\"caf\xc3\xa9\",\"app_id\":null,"
              "\"ignored\":true,\"playing\":true},"
              "{\"pid\":null,\"app_pid\":null,\"exe\":null,\"name\":null,\"media\":null,\"icon\":null,\"app_id\":null,"
              "\"ignored\":false,\"playing\":false}]\n");
    EXPECT_EQ(playingListLine({}), "[]\n");
}
