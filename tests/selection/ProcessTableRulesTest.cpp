// The process table's lineage walk, name recording and ignored-name rule.

#include "selection/ProcessTable.h"
#include "selection/IgnoredNames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// parents[id] = parent for every pair.
ProcessTable tableOf(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> links) {
    ProcessTable table;
    for (auto [child, parent] : links) {
        table.parents[child] = parent;
    }
    return table;
}

struct LineageCase {
    const char* what;
    std::uint32_t start;
    std::uint32_t sought;
    bool expected;
};

TEST(ProcessTableLineage, ShortChainAndDegenerateLinks) {
    // 5 -> 4 -> 3 -> 2 -> 1 (each the child of the next); 7 names itself;
    // 10 and 11 name each other; 20's parent is recorded as 0.
    ProcessTable table = tableOf({{5, 4}, {4, 3}, {3, 2}, {2, 1}, {7, 7}, {10, 11}, {11, 10}, {20, 0}});
    const LineageCase cases[] = {
        {"root of the chain from its leaf", 5, 1, true},
        {"leaf from the root", 1, 5, false},
        {"a process contains itself", 5, 5, true},
        {"a middle ancestor", 4, 2, true},
        {"a process outside the table contains itself", 99, 99, true},
        {"a process outside the table has no ancestors", 99, 5, false},
        {"own parent: itself", 7, 7, true},
        {"own parent: nothing else", 7, 5, false},
        {"mutual parents: the other one", 10, 11, true},
        {"mutual parents: the other way", 11, 10, true},
        {"mutual parents: a stranger ends the walk", 10, 12, false},
        {"start 0", 0, 5, false},
        {"sought 0", 5, 0, false},
        {"both 0", 0, 0, false},
        {"a recorded parent 0 is never matched", 20, 0, false},
        {"a recorded parent 0 ends the walk", 20, 1, false},
    };
    for (const LineageCase& c : cases) {
        EXPECT_EQ(table.lineageContains(c.start, c.sought), c.expected) << c.what;
    }
}

TEST(ProcessTableLineage, SeventyGenerationsAreCutAtSixtyThreeSteps) {
    // 1 is the child of 2, 2 of 3, ... 69 of 70.
    ProcessTable table;
    for (std::uint32_t id = 1; id < 70; ++id) {
        table.parents[id] = id + 1;
    }
    EXPECT_TRUE(table.lineageContains(1, 1 + 62));
    EXPECT_TRUE(table.lineageContains(1, 1 + 63));
    EXPECT_FALSE(table.lineageContains(1, 1 + 64));
    EXPECT_FALSE(table.lineageContains(1, 70));
    // The bound counts from the start, not from the top of the table.
    EXPECT_TRUE(table.lineageContains(7, 70));
    EXPECT_FALSE(table.lineageContains(6, 70));
}

TEST(ProcessTableLineage, LongCycleIsCutByTheSameBound) {
    // 1 -> 2 -> ... -> 100 -> 1: the walk must end, and ids more than 63
    // steps up the cycle are not found.
    ProcessTable table;
    for (std::uint32_t id = 1; id <= 100; ++id) {
        table.parents[id] = id == 100 ? 1 : id + 1;
    }
    EXPECT_TRUE(table.lineageContains(1, 64));
    EXPECT_FALSE(table.lineageContains(1, 65));
    EXPECT_FALSE(table.lineageContains(1, 500));
}

TEST(ProcessTableRecord, LowerCasesNamesAndTheLastEntryWins) {
    ProcessTable table;
    table.record(42, 1, u"SoundSwitch.EXE");
    EXPECT_EQ(table.names.at(42), u"soundswitch.exe");
    EXPECT_EQ(table.parents.at(42), 1u);

    table.record(42, 9, u"Player.exe");
    EXPECT_EQ(table.names.size(), 1u);
    EXPECT_EQ(table.parents.at(42), 9u);
    EXPECT_EQ(table.names.at(42), u"player.exe");

    // Digits, punctuation and an empty name pass through unchanged.
    table.record(43, 0, u"A-1_b.exe");
    table.record(44, 0, u"");
    EXPECT_EQ(table.names.at(43), u"a-1_b.exe");
    EXPECT_EQ(table.names.at(44), u"");
    EXPECT_EQ(table.parents.size(), table.names.size());
}

TEST(IgnoredNames, MatchByPrefixOfTheLowerCasedName) {
    struct Case {
        std::u16string exeName;
        bool ignored;
    };
    const Case cases[] = {
        {u"SoundSwitch.exe", true},
        {u"Sonar.exe", true},
        {u"son.exe", false},  // shorter than "sonar"
        {u"Audio.exe", false},
        {u"EqualizerAPO64.exe", true},
        {u"peacekeeper.exe", true},
        {u"myvoicemeeter.exe", false},  // a prefix, not a substring
        {u"VoiceMeeter8x64.exe", true},
        {u"SteelSeriesGG.exe", true},
        {u"vbaudio_cable.exe", true},
        {u"AudioRepeater.exe", true},
        {u"NahimicSvc64.exe", true},
        {u"FxSound.exe", true},
        {u"peace", true},  // exactly a prefix
        {u"steelserie", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        ProcessTable table;
        table.record(1, 0, c.exeName);
        EXPECT_EQ(isIgnoredName(table.names.at(1), windowsIgnoredNamePrefixes), c.ignored)
            << std::string(c.exeName.begin(), c.exeName.end());
    }
}

TEST(IgnoredNames, ComparisonIsExactOnCodeUnits) {
    // Case folding is record()'s job; the rule itself does not fold.
    EXPECT_FALSE(isIgnoredName(u"Sonar.exe", windowsIgnoredNamePrefixes));
    EXPECT_TRUE(isIgnoredName(u"sonar.exe", windowsIgnoredNamePrefixes));
    EXPECT_EQ(windowsIgnoredNamePrefixes.size(), 10u);
    for (std::u16string_view prefix : windowsIgnoredNamePrefixes) {
        EXPECT_TRUE(isIgnoredName(std::u16string(prefix), windowsIgnoredNamePrefixes));
        // One unit short of a prefix is a prefix of none of them.
        EXPECT_FALSE(isIgnoredName(std::u16string(prefix.substr(0, prefix.size() - 1)), windowsIgnoredNamePrefixes));
    }
}

}  // namespace
