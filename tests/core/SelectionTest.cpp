// The process table's lineage walk and ignored names, and the two rules that
// turn a scan's findings into the wanted set.

#include "selection/IgnoredNames.h"
#include "selection/SelectionRules.h"

#include <gtest/gtest.h>

TEST(ProcessTable, LineageWalkIsBounded) {
    // 5 -> 4 -> 3 -> 2 -> 1 (each the child of the next); 7 is its own parent;
    // 10 and 11 are each other's; 20's parent is 0, recorded with parent 30;
    // 101 -> 102 -> ... -> 170 is seventy generations.
    ProcessTable table;
    table.parents = {{5, 4}, {4, 3}, {3, 2}, {2, 1}, {7, 7}, {10, 11}, {11, 10}, {20, 0}, {0, 30}};
    for (std::uint32_t id = 101; id < 170; ++id) {
        table.parents[id] = id + 1;
    }
    struct Case { std::uint32_t start, sought; bool found; };
    const Case cases[] = {
        {5, 1, true},     {1, 5, false},     {5, 5, true},     {99, 99, true},   {99, 5, false},
        {7, 7, true},     {7, 5, false},     {10, 11, true},   {11, 10, true},   {10, 12, false},
        {0, 5, false},    {5, 0, false},     {0, 0, false},    {20, 30, false},  // 0 ends the walk
        {101, 164, true}, {101, 165, false}, {107, 170, true}, {106, 170, false},  // 63 ancestors
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.lineageContains(c.start, c.sought), c.found) << c.start << " -> " << c.sought;
    }
}

TEST(ProcessTable, NamesAreRecordedLowerCaseAndIgnoredByPrefix) {
    struct Case { std::u16string name; bool onWindows, onLinux; };
    const Case cases[] = {
        {u"steelseriesgg.exe", true, false}, {u"sonar.exe", true, false},         {u"voicemeeter8x64.exe", true, false},
        {u"vbaudio_cable.exe", true, false}, {u"audiorepeater.exe", true, false}, {u"nahimicsvc64.exe", true, false},
        {u"fxsound.exe", true, false},       {u"soundswitch.exe", true, false},   {u"equalizerapo64.exe", true, false},
        {u"peace", true, false},             {u"easyeffects", false, true},       {u"pulseeffects", false, true},
        {u"jamesdsp", false, true},          {u"carla", false, true},             {u"pw-loopback", false, true},
        {u"pulsemeeter", false, true},       {u"son.exe", false, false},          {u"myvoicemeeter.exe", false, false},
        {u"Sonar.exe", false, false},        {u"steelserie", false, false},       {u"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isIgnoredName(c.name, windowsIgnoredNamePrefixes), c.onWindows) << &c - cases;
        EXPECT_EQ(isIgnoredName(c.name, linuxIgnoredNamePrefixes), c.onLinux) << &c - cases;
    }
    // Folding case is record()'s part: the executable's name lower-cased as a
    // whole; a later entry for the same id replaces an earlier one.
    ProcessTable table;
    table.record(1, 0, u"other.exe");
    table.record(1, 0, u"SoundSwitch.EXE");
    EXPECT_TRUE(table.names.at(1) == u"soundswitch.exe");
}

//   100 shell -> 110 host -> 120 caller (self) -> 130 child -> 140 grandchild;
//   125 the caller's sibling; 600 this program, started by the caller;
//   1000 an ignored name -> 1010 player; 2000 launcher -> 2010 -> 2020 browser;
//   4020 -> 4010 -> 4000 game (ids descending down the tree).
static ProcessTable sampleTable() {
    ProcessTable table;
    for (auto [id, parent] : std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>{
             {100, 4}, {110, 100}, {120, 110}, {125, 110}, {130, 120}, {140, 130}, {600, 120}, {1000, 100},
             {1010, 1000}, {2000, 100}, {2010, 2000}, {2020, 2010}, {4020, 100}, {4010, 4020}, {4000, 4010}}) {
        const std::u16string name = id == 1000 ? std::u16string(ignoredNamePrefixes[0]) + u".x"
                                    : id == 1010 ? u"Player.exe" : id == 2000 ? u"launcher.exe"
                                    : id >= 2010 && id <= 2020 ? u"Browser.exe" : id >= 4000 ? u"game.exe" : u"App.exe";
        table.record(id, parent, name);
    }
    return table;
}

TEST(SelectionRules, WindowRuleGuardsTheCallersLineage) {
    struct Case { std::uint32_t targetPid, selfPid; ProcessIdSet wanted; };
    const Case cases[] = {
        {130, 130, {}},    {130, 120, {}},    {130, 110, {}},        {130, 0, {130}},
        {130, 140, {130}}, {130, 125, {130}}, {9999, 120, {9999}},
    };
    const ProcessTable table = sampleTable();
    for (const Case& c : cases) {
        EXPECT_EQ(wantedByWindowRule(table, c.targetPid, c.selfPid), c.wanted) << c.targetPid << ", self " << c.selfPid;
    }
}

TEST(SelectionRules, AllExceptRuleExcludesThenKeepsTreeRoots) {
    struct Case { const char* what; ProcessIdSet sessions; std::uint32_t selfPid; ProcessIdSet wanted; };
    const Case cases[] = {
        {"this program", {600, 2000}, 1010, {2000}},
        {"the named process", {120, 2000}, 120, {2000}},
        {"its descendants", {130, 140, 2000}, 120, {2000}},
        {"its ancestors, not their other descendants", {100, 110, 125}, 120, {125}},
        {"an ignored name, not its child", {1000, 1010}, 120, {1010}},
        {"self 0 excludes only this program", {120, 125, 600}, 0, {120, 125}},
        {"a tree reduces to its root", {2000, 2010, 2020}, 120, {2000}},
        {"whatever the order of ids", {4000, 4010, 4020}, 120, {4020}},
        {"a subtree to its own root", {2010, 2020}, 120, {2010}},
        {"separate trees", {1010, 2010, 4010}, 0, {1010, 2010, 4010}},
        {"a process missing from the table", {9999}, 120, {9999}},
    };
    const ProcessTable table = sampleTable();
    for (const Case& c : cases) {
        EXPECT_EQ(wantedByAllExceptRule(table, c.sessions, 600, c.selfPid), c.wanted) << c.what;
    }
}

TEST(SelectionRules, TargetsAreGuardedThenReducedToTreeRoots) {
    using Pids = std::vector<std::uint32_t>;
    using Programs = std::vector<std::u16string>;
    struct Case { const char* what; std::uint32_t window; Pids pids; Programs programs; std::uint32_t self; ProcessIdSet wanted; };
    const Case cases[] = {
        {"several trees together", 130, {2020, 4000}, {}, 0, {130, 2020, 4000}},
        {"one inside another's tree", 0, {2020, 2000}, {}, 0, {2000}},
        {"each guarded alone", 130, {140, 2010}, {}, 120, {2010}},
        {"a program's processes, to their root", 0, {}, {u"browser.exe"}, 0, {2010}},
        {"a program and a pid", 0, {4010}, {u"game.exe", u"player.exe"}, 0, {1010, 4020}},
        {"a program that nothing runs", 0, {}, {u"nothing.exe"}, 0, {}},
        {"a pid the table lacks", 0, {9999}, {}, 120, {9999}},
    };
    const ProcessTable table = sampleTable();
    for (const Case& c : cases) {
        EXPECT_EQ(wantedByTargetRule(table, {c.window, c.pids, c.programs, c.self}), c.wanted) << c.what;
    }
}

TEST(SelectionRules, SeveralExclusionsByIdAndByProgram) {
    using Pids = std::vector<std::uint32_t>;
    using Programs = std::vector<std::u16string>;
    struct Case { const char* what; ProcessIdSet sessions; Pids pids; Programs programs; ProcessIdSet wanted; };
    const Case cases[] = {
        {"two trees with their ancestors", {1010, 2010, 4010}, {120, 2020}, {}, {1010, 4010}},
        {"0 among them excludes nothing", {1010, 2010, 4010}, {0, 4000}, {}, {1010, 2010}},
        {"by program", {1010, 2010, 4010}, {}, {u"player.exe", u"game.exe"}, {2010}},
        {"by program, the process alone", {2000, 2020}, {}, {u"launcher.exe"}, {2020}},
    };
    const ProcessTable table = sampleTable();
    for (const Case& c : cases) {
        EXPECT_EQ(wantedByAllExceptRule(table, c.sessions, {600, c.pids, c.programs}), c.wanted) << c.what;
    }
}
