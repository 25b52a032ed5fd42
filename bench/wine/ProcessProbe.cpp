#include "ProcessProbe.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstddef>

namespace measure {
namespace {

// Threads of `pid` in a fresh snapshot.
std::vector<DWORD> threadIdsOf(DWORD pid) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid) ids.push_back(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

// The system handle table's records (SystemHandleInformation, class 16), as
// ntdll fills them on 64-bit Windows and Wine.
struct HandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
static_assert(sizeof(HandleEntry) == 24);
static_assert(offsetof(HandleTable, entries) == 8);

constexpr ULONG systemHandleInformation = 16;
constexpr LONG statusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

double cpuBetween(const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after) {
    double total = 0;
    for (const ThreadCpu& now : after) {
        double earlier = 0;
        for (const ThreadCpu& then : before) {
            if (then.threadId == now.threadId) earlier = then.cpuSeconds;
        }
        total += now.cpuSeconds - earlier;
    }
    return total;
}

ProcessProbe::ProcessProbe(DWORD processId) : pid(processId) {
    process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
}

ProcessProbe::~ProcessProbe() {
    if (process) CloseHandle(process);
}

ProcessCost ProcessProbe::read() const {
    ProcessCost cost;
    if (!process) return cost;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (!GetProcessMemoryInfo(process, &memory, sizeof(memory))) return cost;
    cost.workingSetBytes = memory.WorkingSetSize;
    cost.peakWorkingSetBytes = memory.PeakWorkingSetSize;
    cost.privateBytes = memory.PagefileUsage;
    const std::vector<ThreadCpu> all = threads();
    for (const ThreadCpu& t : all) cost.cpuSeconds += t.cpuSeconds;
    cost.threads = static_cast<std::uint32_t>(all.size());
    cost.handles = handleCount();
    cost.valid = cost.threads > 0;
    return cost;
}

ResourceSample ProcessProbe::sample(double atSeconds) const {
    const ProcessCost cost = read();
    return {atSeconds, cost.handles, cost.threads, cost.workingSetBytes};
}

std::uint32_t ProcessProbe::handleCount() const {
    static const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<std::uint64_t> buffer(1 << 15);  // 8-byte aligned; grown while the table does not fit
    LONG status;
    ULONG needed = 0;
    while ((status = query(systemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size() * sizeof(buffer[0])), &needed)) ==
           statusInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    std::uint32_t count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].ownerProcessId == pid;
    return count;
}

std::vector<ThreadCpu> ProcessProbe::threads() const {
    std::vector<ThreadCpu> result;
    for (DWORD id : threadIdsOf(pid)) {
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
        if (!thread) continue;
        FILETIME created, exited, kernel, user;
        ThreadCpu entry;
        entry.threadId = id;
        entry.priority = GetThreadPriority(thread);
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            entry.cpuSeconds = filetimeSeconds(kernel) + filetimeSeconds(user);
        }
        CloseHandle(thread);
        result.push_back(entry);
    }
    return result;
}

}  // namespace measure
