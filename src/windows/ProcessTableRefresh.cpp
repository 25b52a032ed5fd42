#include "windows/ProcessTableRefresh.h"

#include <cwchar>

const ToolHelpCalls toolHelpCalls{CreateToolhelp32Snapshot, Process32FirstW, Process32NextW,
                                  CloseHandle};

namespace {

// Closes the snapshot on every way out, including an allocation failure while
// recording. (UniqueHandle would call the real CloseHandle, not the given one.)
class SnapshotCloser {
public:
    SnapshotCloser(HANDLE snapshot, const ToolHelpCalls& calls) : snapshot(snapshot), calls(calls) {}
    SnapshotCloser(const SnapshotCloser&) = delete;
    SnapshotCloser& operator=(const SnapshotCloser&) = delete;
    ~SnapshotCloser() { calls.closeHandle(snapshot); }

private:
    HANDLE snapshot;
    const ToolHelpCalls& calls;
};

}  // namespace

void refreshProcessTable(ProcessTable& table, const ToolHelpCalls& calls) {
    table.parents.clear();
    table.names.clear();

    HANDLE snapshot = calls.createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    SnapshotCloser closer(snapshot, calls);

    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = calls.firstProcess(snapshot, &entry); more;
         more = calls.nextProcess(snapshot, &entry)) {
        // The name ends at its null, or at the end of the field should a
        // faulty snapshot leave none.
        std::size_t length = wcsnlen(entry.szExeFile, MAX_PATH);
        std::u16string name(entry.szExeFile, entry.szExeFile + length);
        table.record(entry.th32ProcessID, entry.th32ParentProcessID, std::move(name));
    }
}

void ProcessTable::refresh() { refreshProcessTable(*this, toolHelpCalls); }
