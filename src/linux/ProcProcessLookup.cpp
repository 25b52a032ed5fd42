#include "linux/ProcProcessLookup.h"

#include "linux/DecimalProcessId.h"
#include "linux/ProcFiles.h"

#include <sstream>
#include <string>

namespace {

std::string procFile(std::uint32_t processId, const char* name) {
    return "/proc/" + std::to_string(processId) + "/" + name;
}

// The text after "<key>:" on its line of a status file; empty when absent.
std::string statusField(const std::string& status, const std::string& key) {
    const std::string label = "\n" + key + ":";
    const std::size_t start = ("\n" + status).find(label);
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t from = start + label.size() - 1;
    const std::size_t end = status.find('\n', from);
    return status.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

}  // namespace

std::optional<ProcessNames> ProcProcessLookup::namesOf(std::uint32_t processId) {
    if (!processRuns(processId)) {
        return std::nullopt;
    }
    return ProcessNames{readCommand(processId), linkTargetBaseName(procFile(processId, "exe"))};
}

std::vector<std::uint32_t> ProcProcessLookup::nestedProcessesWithId(std::uint32_t innerId) {
    if (!nestedByInnerId) {
        nestedByInnerId.emplace();
        for (const std::uint32_t pid : listedProcessIds()) {
            const std::string status = readSmallFile(procFile(pid, "status"));
            if (statusField(status, "State").find('Z') != std::string::npos) {
                continue;
            }
            std::istringstream ids(statusField(status, "NSpid"));
            std::uint32_t innermost = 0;
            int depth = 0;
            for (std::string id; ids >> id; ++depth) {
                innermost = decimalProcessId(id.c_str());
            }
            if (depth >= 2 && innermost != 0) {
                nestedByInnerId->emplace(innermost, pid);
            }
        }
    }
    std::vector<std::uint32_t> found;
    const auto [first, last] = nestedByInnerId->equal_range(innerId);
    for (auto entry = first; entry != last; ++entry) {
        found.push_back(entry->second);
    }
    return found;
}
