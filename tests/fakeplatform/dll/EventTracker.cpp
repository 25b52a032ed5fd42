// Event closure tracking for the fake's accounting.

#include "EventTracker.h"

#include "FakeRuntime.h"

namespace fakeplatform {
namespace {

struct Entry {
    HANDLE programHandle;
    HANDLE duplicate;  // null: entry free
    bool clientAlive;
};

constexpr int capacity = 512;
SRWLOCK tableLock = SRWLOCK_INIT;
Entry table[capacity];  // guarded by tableLock

using CompareFn = BOOL(WINAPI*)(HANDLE, HANDLE);

// Looked up at run time: the import library of the cross toolchain lacks it,
// and Wine provides it in kernelbase.
CompareFn compareObjects() {
    static const CompareFn fn = [] {
        HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
        return kernelbase ? reinterpret_cast<CompareFn>(reinterpret_cast<void*>(GetProcAddress(kernelbase, "CompareObjectHandles")))
                          : nullptr;
    }();
    return fn;
}

// Caller holds tableLock.
void sweepLocked() {
    CompareFn compare = compareObjects();
    if (!compare) return;
    for (Entry& e : table) {
        if (!e.duplicate) continue;
        if (compare(e.programHandle, e.duplicate)) continue;
        bump(accounts().eventsClosed);
        if (e.clientAlive) bump(accounts().eventsClosedEarly);
        CloseHandle(e.duplicate);
        e = Entry{};
    }
}

}  // namespace

int trackEvent(HANDLE programHandle) {
    HANDLE self = GetCurrentProcess();
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(self, programHandle, self, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) return -1;
    AcquireSRWLockExclusive(&tableLock);
    sweepLocked();
    int ticket = -1;
    for (int i = 0; i < capacity; ++i) {
        if (!table[i].duplicate) {
            table[i] = Entry{programHandle, duplicate, true};
            ticket = i;
            break;
        }
    }
    ReleaseSRWLockExclusive(&tableLock);
    if (ticket < 0) CloseHandle(duplicate);
    return ticket;
}

void clientReleased(int ticket) {
    AcquireSRWLockExclusive(&tableLock);
    sweepLocked();  // a closure before this point came while the client lived
    if (ticket >= 0 && ticket < capacity) table[ticket].clientAlive = false;
    ReleaseSRWLockExclusive(&tableLock);
}

void sweepEvents() {
    AcquireSRWLockExclusive(&tableLock);
    sweepLocked();
    ReleaseSRWLockExclusive(&tableLock);
}

void finalEventSweep() {
    if (!TryAcquireSRWLockExclusive(&tableLock)) return;
    sweepLocked();
    for (Entry& e : table) {
        if (e.duplicate) bump(accounts().eventsOpenAtExit);
    }
    ReleaseSRWLockExclusive(&tableLock);
}

}  // namespace fakeplatform
