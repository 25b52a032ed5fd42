// The fake audio engine's delivery thread.

#include "PacketEngine.h"

#include "EventTracker.h"
#include "LoopbackClient.h"

#include <climits>
#include <vector>

namespace fakeplatform {
namespace {

SRWLOCK engineLock = SRWLOCK_INIT;
std::vector<LoopbackClient*>* clients = nullptr;  // guarded by engineLock; never freed
HANDLE wake = nullptr;

DWORD WINAPI engineLoop(void*) {
    const LONGLONG frequency = counterFrequency();
    LONGLONG lastSweep = counterNow();
    for (;;) {
        AcquireSRWLockExclusive(&engineLock);
        const LONGLONG now = counterNow();
        LONGLONG next = LLONG_MAX;
        for (LoopbackClient* client : *clients) {
            const LONGLONG due = client->pump(now);
            if (due < next) next = due;
        }
        ReleaseSRWLockExclusive(&engineLock);

        if (now - lastSweep > frequency / 2) {
            sweepEvents();
            lastSweep = now;
        }
        DWORD waitMs = 500;
        if (next != LLONG_MAX) {
            const LONGLONG ahead = next - counterNow();
            if (ahead <= 0) continue;
            const LONGLONG ms = (ahead * 1000 + frequency - 1) / frequency;
            waitMs = static_cast<DWORD>(ms < 500 ? ms : 500);
        }
        WaitForSingleObject(wake, waitMs);
    }
}

void startEngineOnce() {
    static const bool started = [] {
        clients = new std::vector<LoopbackClient*>();
        clients->reserve(64);
        wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = CreateThread(nullptr, 0, engineLoop, nullptr, 0, nullptr);
        if (thread) {
            SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);  // as an audio engine's would be
            CloseHandle(thread);
        }
        return true;
    }();
    (void)started;
}

}  // namespace

void addClient(LoopbackClient* client) {
    startEngineOnce();
    AcquireSRWLockExclusive(&engineLock);
    clients->push_back(client);
    ReleaseSRWLockExclusive(&engineLock);
    SetEvent(wake);
}

void removeClient(LoopbackClient* client) {
    if (!clients) return;
    AcquireSRWLockExclusive(&engineLock);
    for (auto it = clients->begin(); it != clients->end(); ++it) {
        if (*it == client) {
            clients->erase(it);
            break;
        }
    }
    ReleaseSRWLockExclusive(&engineLock);
}

}  // namespace fakeplatform
