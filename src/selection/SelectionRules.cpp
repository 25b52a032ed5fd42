#include "selection/SelectionRules.h"

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
    ProcessIdSet candidates;
    for (std::uint32_t id : sessionPids) {
        bool dropped = id == ownPid                          // this program
                       || table.lineageContains(id, selfPid)  // self and its descendants
                       || table.lineageContains(selfPid, id)  // the ancestors of self
                       || hasIgnoredName(table, id);
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
