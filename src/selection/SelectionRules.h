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
