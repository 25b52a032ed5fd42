// The window rule and the all-except rule over a fixed process tree.

#include "selection/SelectionRules.h"
#include "selection/IgnoredNames.h"

#include <gtest/gtest.h>

namespace {

// The processes the cases below are about:
//   100 shell            110 caller's parent     120 caller (self)
//   130 caller's child   140 caller's grandchild 125 caller's sibling
//   600 this program (a child of the caller, as a parent would start it)
//   1000 voicemeeter.exe (ignored)  ->  1010 player.exe
//   2000 browser.exe  ->  2010 browser.exe  ->  2020 browser.exe
//   4020 game.exe  ->  4010 game.exe  ->  4000 game.exe   (ids descending)
ProcessTable sampleTable() {
    ProcessTable table;
    table.record(100, 4, u"Shell.exe");
    table.record(110, 100, u"Host.exe");
    table.record(120, 110, u"Caller.exe");
    table.record(125, 110, u"Sibling.exe");
    table.record(130, 120, u"CallerChild.exe");
    table.record(140, 130, u"CallerGrandchild.exe");
    table.record(600, 120, u"vintra-app-audio.exe");
    table.record(1000, 100, std::u16string(ignoredNamePrefixes[0]) + u"x");
    table.record(1010, 1000, u"Player.exe");
    table.record(2000, 100, u"Browser.exe");
    table.record(2010, 2000, u"Browser.exe");
    table.record(2020, 2010, u"Browser.exe");
    table.record(4020, 100, u"Game.exe");
    table.record(4010, 4020, u"Game.exe");
    table.record(4000, 4010, u"Game.exe");
    return table;
}

constexpr std::uint32_t ownPid = 600;

struct AllExceptCase {
    const char* what;
    ProcessIdSet sessions;
    std::uint32_t selfPid;
    ProcessIdSet wanted;
};

TEST(AllExceptRule, ExclusionsAndTreeReduction) {
    const ProcessTable table = sampleTable();
    const AllExceptCase cases[] = {
        {"self, its children, grandchildren, parent and grandparent dropped; sibling kept",
         {100, 110, 120, 125, 130, 140}, 120, {125}},
        {"self pid 0 drops only this program", {120, 125, 600}, 0, {120, 125}},
        {"this program is never captured, whatever the self pid", {600, 2000}, 1010, {2000}},
        {"parent and child both with sessions give one source", {2000, 2010}, 120, {2000}},
        {"the child alone once the parent's session is gone", {2010}, 120, {2010}},
        {"a grandchild is left out under a candidate grandparent", {2000, 2020}, 120, {2000}},
        {"a whole tree reduces to its root", {2000, 2010, 2020}, 120, {2000}},
        {"reduction does not depend on id order", {4000, 4010, 4020}, 120, {4020}},
        {"reduction with ids descending and a gap", {4000, 4020}, 120, {4020}},
        {"an ignored name is never captured", {1000}, 120, {}},
        {"the child of an ignored parent is captured", {1000, 1010}, 120, {1010}},
        {"a process missing from the table is kept", {9999}, 120, {9999}},
        {"an excluded ancestor does not hide its other descendants", {110, 125}, 120, {125}},
        {"separate trees each keep their root", {1010, 2010, 4010}, 0, {1010, 2010, 4010}},
        {"no sessions, nothing wanted", {}, 120, {}},
    };
    for (const AllExceptCase& c : cases) {
        EXPECT_EQ(wantedByAllExceptRule(table, c.sessions, ownPid, c.selfPid), c.wanted) << c.what;
    }
}

TEST(AllExceptRule, CandidatesKeepEveryTreeMember) {
    // The exclusions alone do not reduce trees; that is the second half's job.
    const ProcessTable table = sampleTable();
    EXPECT_EQ(candidatesOf(table, {600, 1000, 1010, 2000, 2010, 120, 130}, ownPid, 120),
              (ProcessIdSet{1010, 2000, 2010}));
    EXPECT_EQ(reduceToTreeRoots(table, {1010, 2000, 2010}), (ProcessIdSet{1010, 2000}));
}

TEST(AllExceptRule, EmptyTableDropsOnlyThisProgramAndSelf) {
    // A failed snapshot: no lineage beyond identity, no names, no reduction.
    const ProcessTable empty;
    EXPECT_EQ(wantedByAllExceptRule(empty, {120, 130, 600, 1000, 2000, 2010}, ownPid, 120),
              (ProcessIdSet{130, 1000, 2000, 2010}));
}

struct WindowCase {
    const char* what;
    std::uint32_t targetPid;
    std::uint32_t selfPid;
    ProcessIdSet wanted;
};

TEST(WindowRule, TargetUnlessSelfIsInItsLineage) {
    const ProcessTable table = sampleTable();
    const WindowCase cases[] = {
        {"self is the target", 130, 130, {}},
        {"self is the target's parent", 130, 120, {}},
        {"self is the target's grandparent", 130, 110, {}},
        {"no self pid", 130, 0, {130}},
        {"self is the target's child", 130, 140, {130}},
        {"self is a sibling of the target's parent", 130, 125, {130}},
        {"this program's own id plays no part", 600, 0, {600}},
        {"an ignored name plays no part", 1000, 0, {1000}},
        {"a target missing from the table", 9999, 120, {9999}},
    };
    for (const WindowCase& c : cases) {
        EXPECT_EQ(wantedByWindowRule(table, c.targetPid, c.selfPid), c.wanted) << c.what;
    }

    const ProcessTable empty;
    EXPECT_EQ(wantedByWindowRule(empty, 130, 130), ProcessIdSet{}) << "empty table, self is target";
    EXPECT_EQ(wantedByWindowRule(empty, 130, 120), ProcessIdSet{130}) << "empty table, self elsewhere";
}

}  // namespace
