#pragma once
// The questions of StreamOwner.h answered from /proc: a process's names from
// comm and the exe link, and the processes of nested pid namespaces by their
// innermost id, from the NSpid line of /proc/<pid>/status ("NSpid: 23096 1"
// is our 23096, 1 inside its own namespace). Ended processes that are still
// zombies count as gone: they play nothing.
//
// Threads: one instance per scan, on the scanning thread. The nested index
// is read once, on the first question that needs it, so a scan that meets
// no sandboxed player reads no status file.

#include "selection/StreamOwner.h"

#include <map>
#include <optional>

class ProcProcessLookup final : public ProcessLookup {
public:
    std::optional<ProcessNames> namesOf(std::uint32_t processId) override;
    std::vector<std::uint32_t> nestedProcessesWithId(std::uint32_t innerId) override;

private:
    std::optional<std::multimap<std::uint32_t, std::uint32_t>> nestedByInnerId;
};
