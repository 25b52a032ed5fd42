#pragma once
// The two rules that turn what a scan has seen into the wanted set: the
// process ids that are to have a capture source when the scan ends.
//
// OS-free and pure: they read the process table and their arguments only.
// Called on the scanning thread, after the table's refresh and before the
// source-map lock is taken.

#include "selection/ProcessTable.h"

#include <cstdint>
#include <set>
#include <span>
#include <string>

using ProcessIdSet = std::set<std::uint32_t>;

// Window mode: the target, unless the caller (`selfPid`) is the target or one
// of its ancestors, in which case capturing it would capture the caller too.
ProcessIdSet wantedByWindowRule(const ProcessTable& table, std::uint32_t targetPid,
                                std::uint32_t selfPid);

// All-except mode, first half: the session processes that survive the four
// exclusions (this program, the self process's descendants, its ancestors,
// ignored executable names), tested in that order.
ProcessIdSet candidatesOf(const ProcessTable& table, const ProcessIdSet& sessionPids,
                          std::uint32_t ownPid, std::uint32_t selfPid);

// All-except mode, second half: drops every candidate that has another
// candidate among its ancestors, whose source already carries its audio.
// Each candidate is tested against all the others, dropped or not, so the
// result does not depend on the order of testing.
ProcessIdSet reduceToTreeRoots(const ProcessTable& table, const ProcessIdSet& candidates);

// Both halves together.
ProcessIdSet wantedByAllExceptRule(const ProcessTable& table, const ProcessIdSet& sessionPids,
                                   std::uint32_t ownPid, std::uint32_t selfPid);

// What a parent chose to capture: a window's process, processes by id and
// programs by name, each with its process tree; and the caller, whose own
// tree is never captured.
struct Targets {
    std::uint32_t windowPid = 0;
    std::span<const std::uint32_t> pids;
    std::span<const std::u16string> programs;  // in matching form (ProgramNames.h)
    std::uint32_t selfPid = 0;
};

// Every chosen process that the guard lets through: the window's, each
// --pid, and each process in the table that runs a chosen program; none that
// is the caller or one of its descendants (the caller is it or one of its
// ancestors), since its tree would hold the caller too. Not reduced: on Linux
// each stream is picked by its own process.
ProcessIdSet chosenTargets(const ProcessTable& table, const Targets& targets);

// The processes to capture for those choices: the chosen targets reduced to
// tree roots, since each source carries its process's whole tree.
ProcessIdSet wantedByTargetRule(const ProcessTable& table, const Targets& targets);

// Who all-except mode leaves out besides this program (`ownPid`): each
// process in `pids` with its descendants and its ancestors, and each process
// that itself runs one of `programs` (as the audio routers are left out).
struct Exclusions {
    std::uint32_t ownPid = 0;
    std::span<const std::uint32_t> pids;
    std::span<const std::u16string> programs;  // in matching form (ProgramNames.h)
};

ProcessIdSet candidatesOf(const ProcessTable& table, const ProcessIdSet& sessionPids, const Exclusions& exclusions);
ProcessIdSet wantedByAllExceptRule(const ProcessTable& table, const ProcessIdSet& sessionPids,
                                   const Exclusions& exclusions);
