#include "selection/StreamOwner.h"

namespace {

// The longest name comm keeps (TASK_COMM_LEN less its terminating zero).
constexpr std::size_t commandLength = 15;

StreamOwner processOwner(std::uint32_t processId, const std::string& binary) {
    return {OwnerKind::Process, processId, binary};
}

// A claimed id stands when its process runs the claiming program. A claim
// without a program name cannot be checked and is taken as it is.
StreamOwner checkClaim(const ProcessClaim& claim, ProcessLookup& processes) {
    if (claim.binary.empty()) {
        return processOwner(claim.processId, claim.binary);
    }
    if (const auto names = processes.namesOf(claim.processId); names && runsProgram(*names, claim.binary)) {
        return processOwner(claim.processId, claim.binary);
    }
    // The id as the player sees it from inside its own pid namespace: it
    // stands for the one process there that has it and runs that program.
    // Two sandboxes running the same program under the same inner id cannot
    // be told apart.
    std::optional<std::uint32_t> found;
    for (std::uint32_t candidate : processes.nestedProcessesWithId(claim.processId)) {
        const auto names = processes.namesOf(candidate);
        if (!names || !runsProgram(*names, claim.binary)) {
            continue;
        }
        if (found) {
            return {OwnerKind::Unknown, 0, claim.binary};
        }
        found = candidate;
    }
    if (found) {
        return processOwner(*found, claim.binary);
    }
    return {OwnerKind::Unknown, 0, claim.binary};
}

}  // namespace

bool runsProgram(const ProcessNames& names, const std::string& binary) {
    if (binary.empty()) {
        return false;
    }
    return names.executable == binary || names.command == binary.substr(0, commandLength);
}

StreamOwner resolveStreamOwner(const OwnerReport& report, ProcessLookup& processes) {
    if (report.stream.processId != 0) {
        ProcessClaim claim = report.stream;
        if (claim.binary.empty() && report.hasClient) {
            claim.binary = report.client.binary;
        }
        return checkClaim(claim, processes);
    }
    if (!report.hasClient) {
        return {};
    }
    if (!report.relayedClient && report.kernelProcessId != 0) {
        return processOwner(report.kernelProcessId, report.client.binary);
    }
    if (report.client.processId != 0) {
        return checkClaim(report.client, processes);
    }
    return {};
}
