#include "selection/SelectionRules.h"

#include "selection/ProgramNames.h"

ProcessIdSet wantedByWindowRule(const ProcessTable& table, std::uint32_t targetPid,
                                std::uint32_t selfPid) {
    if (table.lineageContains(targetPid, selfPid)) {
        return {};
    }
    return {targetPid};
}

namespace {

bool hasIgnoredName(const ProcessTable& table, std::uint32_t processId) {
    auto entry = table.names.find(processId);
    return entry != table.names.end() && isIgnoredName(entry->second);
}

}  // namespace

ProcessIdSet candidatesOf(const ProcessTable& table, const ProcessIdSet& sessionPids,
                          std::uint32_t ownPid, std::uint32_t selfPid) {
    const std::uint32_t excluded[] = {selfPid};
    return candidatesOf(table, sessionPids, Exclusions{ownPid, excluded, {}});
}

ProcessIdSet candidatesOf(const ProcessTable& table, const ProcessIdSet& sessionPids, const Exclusions& exclusions) {
    const auto inExcludedLineage = [&](std::uint32_t id) {
        for (std::uint32_t excluded : exclusions.pids) {
            if (table.lineageContains(id, excluded)       // the excluded process and its descendants
                || table.lineageContains(excluded, id)) {  // its ancestors
                return true;
            }
        }
        return false;
    };
    ProcessIdSet candidates;
    for (std::uint32_t id : sessionPids) {
        bool dropped = id == exclusions.ownPid  // this program
                       || inExcludedLineage(id) || hasIgnoredName(table, id) ||
                       runsAnyProgram(table, id, exclusions.programs);
        if (!dropped) {
            candidates.insert(candidates.end(), id);
        }
    }
    return candidates;
}

ProcessIdSet reduceToTreeRoots(const ProcessTable& table, const ProcessIdSet& candidates) {
    ProcessIdSet roots;
    for (std::uint32_t candidate : candidates) {
        bool underAnother = false;
        for (std::uint32_t other : candidates) {
            if (other != candidate && table.lineageContains(candidate, other)) {
                underAnother = true;
                break;
            }
        }
        if (!underAnother) {
            roots.insert(roots.end(), candidate);
        }
    }
    return roots;
}

ProcessIdSet wantedByAllExceptRule(const ProcessTable& table, const ProcessIdSet& sessionPids,
                                   std::uint32_t ownPid, std::uint32_t selfPid) {
    return reduceToTreeRoots(table, candidatesOf(table, sessionPids, ownPid, selfPid));
}

ProcessIdSet wantedByAllExceptRule(const ProcessTable& table, const ProcessIdSet& sessionPids,
                                   const Exclusions& exclusions) {
    return reduceToTreeRoots(table, candidatesOf(table, sessionPids, exclusions));
}

ProcessIdSet chosenTargets(const ProcessTable& table, const Targets& targets) {
    ProcessIdSet chosen(targets.pids.begin(), targets.pids.end());
    if (targets.windowPid != 0) {
        chosen.insert(targets.windowPid);
    }
    if (!targets.programs.empty()) {
        for (const auto& [id, name] : table.names) {
            if (runsAnyProgram(table, id, targets.programs)) {
                chosen.insert(id);
            }
        }
    }
    std::erase_if(chosen, [&](std::uint32_t id) { return table.lineageContains(id, targets.selfPid); });
    return chosen;
}

ProcessIdSet wantedByTargetRule(const ProcessTable& table, const Targets& targets) {
    return reduceToTreeRoots(table, chosenTargets(table, targets));
}
