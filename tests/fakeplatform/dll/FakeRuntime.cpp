// The fake's process-wide runtime: the control record and small helpers.

#include "FakeRuntime.h"

namespace fakeplatform {
namespace {
fake::ControlRecord* volatile opened = nullptr;
}

fake::ControlRecord& control() {
    // Opened once; a record that cannot be opened is replaced by a private
    // one, so the fake still works (with no players and no faults) rather
    // than crash the program under test.
    static fake::ControlRecord* record = [] {
        auto* view = new fake::ControlView(fake::inheritedNamespace());  // kept until the process ends
        fake::ControlRecord* mapped = view->get();
        if (!mapped) mapped = new fake::ControlRecord{};
        bump(mapped->accounting.dllAttaches);
        return mapped;
    }();
    opened = record;
    return *record;
}

void noteDetach() {
    if (opened) bump(opened->accounting.dllDetaches);
}

bool takeOne(volatile LONG& remaining) {
    for (;;) {
        LONG seen = remaining;
        if (seen <= 0) return false;
        if (InterlockedCompareExchange(&remaining, seen - 1, seen) == seen) return true;
    }
}

bool processIsLive(DWORD pid) {
    if (pid == 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return false;
    DWORD code = 0;
    bool live = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return live;
}

LONGLONG counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG counterFrequency() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency;
}

}  // namespace fakeplatform
