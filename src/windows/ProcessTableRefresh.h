#pragma once
// Filling the process table from a Tool Help process snapshot, with the four
// system calls passed in so that tests can make each of them fail. The
// product uses toolHelpCalls, the real ones (ProcessTable::refresh).
//
// Threads: the scanning thread, like the table itself.

#include "selection/ProcessTable.h"

#include <windows.h>

#include <tlhelp32.h>

// The record layout the snapshot calls fill; dwSize must say so.
static_assert(sizeof(PROCESSENTRY32W) == 568);

struct ToolHelpCalls {
    HANDLE(WINAPI* createSnapshot)(DWORD flags, DWORD processId);
    BOOL(WINAPI* firstProcess)(HANDLE snapshot, PROCESSENTRY32W* entry);
    BOOL(WINAPI* nextProcess)(HANDLE snapshot, PROCESSENTRY32W* entry);
    BOOL(WINAPI* closeHandle)(HANDLE handle);
};

extern const ToolHelpCalls toolHelpCalls;

// Empties `table`, then records every entry the snapshot yields until the
// first FALSE. A snapshot that cannot be taken leaves the table empty; one
// that breaks off keeps the entries read so far. The snapshot handle is
// closed once, whenever one was obtained.
void refreshProcessTable(ProcessTable& table, const ToolHelpCalls& calls);
