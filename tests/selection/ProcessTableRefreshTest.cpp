// Filling the process table from a process snapshot: scripted snapshots for
// the failure paths, and Wine's real one for a child the test starts.

#include "HelperProcess.h"
#include "windows/ProcessTableRefresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The scripted snapshot the fake calls below play back.
struct ScriptedEntry {
    DWORD processId;
    DWORD parentId;
    std::wstring exeFile;
};

HANDLE const scriptedHandle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x5150));

struct Script {
    bool snapshotFails = false;
    std::vector<ScriptedEntry> entries;
    std::size_t failAfter = SIZE_MAX;  // a call that would yield this entry returns FALSE
    std::size_t next = 0;
    int closes = 0;
    bool wrongHandle = false;
    bool wrongSize = false;
    bool wrongFlags = false;
} script;

HANDLE WINAPI fakeCreateSnapshot(DWORD flags, DWORD processId) {
    script.wrongFlags = script.wrongFlags || flags != TH32CS_SNAPPROCESS || processId != 0;
    return script.snapshotFails ? INVALID_HANDLE_VALUE : scriptedHandle;
}

BOOL WINAPI fakeNextProcess(HANDLE snapshot, PROCESSENTRY32W* entry) {
    script.wrongHandle = script.wrongHandle || snapshot != scriptedHandle;
    script.wrongSize = script.wrongSize || entry->dwSize != 568;
    if (script.next >= script.entries.size() || script.next >= script.failAfter) {
        return FALSE;
    }
    const ScriptedEntry& e = script.entries[script.next++];
    entry->th32ProcessID = e.processId;
    entry->th32ParentProcessID = e.parentId;
    // Like the real call, a shorter name leaves what follows its null alone.
    std::size_t length = std::min<std::size_t>(e.exeFile.size(), MAX_PATH);
    std::copy_n(e.exeFile.data(), length, entry->szExeFile);
    if (length < MAX_PATH) {
        entry->szExeFile[length] = L'\0';
    }
    return TRUE;
}

BOOL WINAPI fakeFirstProcess(HANDLE snapshot, PROCESSENTRY32W* entry) {
    script.next = 0;
    return fakeNextProcess(snapshot, entry);
}

BOOL WINAPI fakeCloseHandle(HANDLE handle) {
    script.wrongHandle = script.wrongHandle || handle != scriptedHandle;
    ++script.closes;
    return TRUE;
}

const ToolHelpCalls scriptedCalls{fakeCreateSnapshot, fakeFirstProcess, fakeNextProcess, fakeCloseHandle};

ProcessTable refreshed(ProcessTable table = {}) {
    refreshProcessTable(table, scriptedCalls);
    EXPECT_FALSE(script.wrongHandle || script.wrongSize || script.wrongFlags);
    return table;
}

class ScriptedRefresh : public ::testing::Test {
protected:
    void SetUp() override {
        script = Script{};
        script.entries = {{4, 0, L"Shell.exe"}, {8, 4, L"Player.EXE"}, {12, 8, L"Helper.exe"}};
    }
};

TEST_F(ScriptedRefresh, FailedSnapshotEmptiesAFilledTable) {
    ProcessTable table = refreshed();
    ASSERT_EQ(table.parents.size(), 3u);
    script.snapshotFails = true;
    table = refreshed(std::move(table));
    EXPECT_TRUE(table.parents.empty());
    EXPECT_TRUE(table.names.empty());
    EXPECT_EQ(script.closes, 1) << "nothing to close for the failed snapshot";
}

TEST_F(ScriptedRefresh, FirstEntryFailingClosesTheHandleAndLeavesTheTableEmpty) {
    script.failAfter = 0;
    ProcessTable table = refreshed(refreshed());
    EXPECT_TRUE(table.parents.empty());
    EXPECT_TRUE(table.names.empty());
    EXPECT_EQ(script.closes, 2);
}

TEST_F(ScriptedRefresh, BreakInTheMiddleKeepsWhatWasRead) {
    script.failAfter = 2;
    ProcessTable table = refreshed();
    EXPECT_EQ(table.parents, (std::map<std::uint32_t, std::uint32_t>{{4, 0}, {8, 4}}));
    EXPECT_EQ(table.names.size(), 2u);
    EXPECT_EQ(script.closes, 1);
}

TEST_F(ScriptedRefresh, RepeatedIdKeepsItsLastEntryAndNamesEndAtTheirNull) {
    // The long name first, so a shorter later one overwrites only its start.
    script.entries = {{8, 4, L"AVeryLongExecutableName.exe"}, {8, 6, L"Short.exe"}};
    ProcessTable table = refreshed();
    EXPECT_EQ(table.parents.at(8), 6u);
    EXPECT_EQ(table.names.at(8), u"short.exe");
}

TEST_F(ScriptedRefresh, NameFillingTheWholeFieldIsCutAtItsEnd) {
    script.entries = {{8, 4, std::wstring(MAX_PATH, L'X')}};
    ProcessTable table = refreshed();
    EXPECT_EQ(table.names.at(8), std::u16string(MAX_PATH, u'x'));
}

TEST(RealSnapshot, ChildStartedByTheTestAppearsUnderIt) {
    HelperProcess helper(L"wait");
    ASSERT_TRUE(helper.started());

    ProcessTable table;
    table.parents[helper.processId()] = 1;  // stale contents are replaced
    table.refresh();

    ASSERT_TRUE(table.parents.contains(helper.processId()));
    EXPECT_EQ(table.parents.at(helper.processId()), GetCurrentProcessId());
    EXPECT_EQ(table.names.at(helper.processId()), u"selectionhelper.exe");
    EXPECT_TRUE(table.parents.contains(GetCurrentProcessId()));
    EXPECT_EQ(table.parents.size(), table.names.size());
    EXPECT_TRUE(table.lineageContains(helper.processId(), GetCurrentProcessId()));
}

}  // namespace
