#pragma once
// The control record of the fake Core Audio platform: one named file mapping
// shared by the fake mmdevapi.dll (inside whatever process loaded it), the
// players and the test parents. Its name carries the namespace in the
// environment variable VINTRA_FAKE_NAMESPACE, which children inherit; a test
// parent picks its own, opens the record before it starts anything and keeps
// it open, so the accounting can be read after the program under test ended.
//
// Threads: any thread of any process. Every field but a slot's texts is an
// aligned LONG, so its plain reads and writes are atomic on x86-64; the texts
// are written only before their slot is published. A count that several
// threads change moves by Interlocked operations only. A new mapping is all
// zero: no sessions, no faults, nothing counted.

#include <windows.h>

namespace fake {

inline constexpr int slotCount = 32;
inline constexpr int textLength = 128;  // a slot's texts, their null included
enum SessionState : LONG { inactive = 0, active = 1, expired = 2 };

// One audio session the fake lists, and the tone its process plays.
struct Slot {
    volatile LONG pid;           // 0: the slot is free; -1: being filled
    volatile LONG state;         // SessionState
    volatile LONG systemSounds;  // what IsSystemSoundsSession returns
    volatile LONG pidResult;     // what GetProcessId returns; it writes the pid all the same
    volatile LONG endpoints;     // bit 0: listed on the first endpoint, bit 1: on the second
    volatile LONG frequency, level;  // the tone: Hz, peak in 16-bit units (0: silent packets)
    volatile LONG captures;      // clients of this pid started (counted up only)
    // Raising it makes every client of this pid made before dead for good,
    // as when the audio service restarts; clients made after work. A dead
    // client answers lossCode (AUDCLNT_E_DEVICE_INVALIDATED when 0) from the
    // capture calls that lossCalls names: bit 0 GetNextPacketSize, bit 1
    // GetBuffer, bit 2 ReleaseBuffer (all three when 0); the others go on.
    volatile LONG invalidations;
    volatile LONG lossCode = 0, lossCalls = 0;
    volatile LONG publishedMs = 0;  // when the player published it, in ms of the performance counter
    // The clock of the device this process plays on, against the engine's
    // (the system's): its packets fall due so many ppm fast, or slow when
    // negative, read when a client starts. `delivered` counts its packets
    // released back.
    volatile LONG clockPpm = 0, delivered = 0;
    // What the session says of itself (GetDisplayName, GetIconPath): empty
    // unless set, as Windows reports a session whose application set none.
    wchar_t displayName[textLength]{}, iconPath[textLength]{};
};

enum ActivationFault : LONG { refuse = 1, failResult, failGetResult, noInterface, failQueryInterface };

struct Faults {
    // For the selected pid, activationFault (an ActivationFault) with the HRESULT
    // activationCode (E_NOINTERFACE for failQueryInterface, whatever is set).
    volatile LONG activationPid, activationFault, activationCode;
    volatile LONG holdActivations;    // selector: completions wait until this changes
    volatile LONG getBufferFailures;  // so many coming GetBuffer calls fail, and would pass if tried again
    volatile LONG holdGetBuffer;      // non-zero: GetBuffer waits until it is cleared
    volatile LONG manualPackets, queuedPackets;  // non-zero: packets come only as queuedPackets grows
    volatile LONG selfSession;        // non-zero: the first endpoint also lists the caller
    volatile LONG secondEndpointOff;  // non-zero: the second endpoint is unplugged
};

struct Accounting {
    volatile LONG objects, clients;        // alive: fake COM objects (clients among them), audio clients
    volatile LONG running, starts, stops;  // clients started and not stopped; starts and stops so far
    volatile LONG unslottedCaptures;       // clients started for a pid that has no slot (counted up only)
    // Calls the program must never make, and the fake's line that saw the last.
    volatile LONG misuses, lastMisuse;
    volatile LONG heldActivations, heldGetBuffers;
    // Packets released back; of those, taken with no wait on the event since the one before.
    volatile LONG delivered, sameWakePackets;
    volatile LONG handlerLastCount;  // what the handler's Release answered the fake
    volatile LONG invalidatedCalls;  // capture calls answered as a dead client
    // Listeners registered and not unregistered (sessions' and endpoints').
    volatile LONG registrations;
    volatile LONG scans;             // EnumAudioEndpoints calls
    // When each of the first calls came, in ms of the performance counter
    // (one clock for every process): the test judges the rescan period by them.
    volatile LONG scanTimes[16];
    // When the engine's 5 ms round came 20 ms late or more (its process held
    // off the CPU, as a loaded machine does), in the same ms, the first 64.
    volatile LONG engineStalls, engineStallTimes[64];
};

struct Record { Slot slots[slotCount]; Faults faults; Accounting counts; };

// The record of the namespace named in VINTRA_FAKE_NAMESPACE, created if
// nobody has yet; never unmapped, since threads may use it until the process
// ends. Null when it cannot be had.
inline Record* openRecord() {
    wchar_t name[96] = L"Local\\vintra-fake-audio-";
    const int prefix = lstrlenW(name);
    GetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", name + prefix, 96 - prefix);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Record), name);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Record)) : nullptr;
    return static_cast<Record*>(view);
}

// Now in ms of the performance counter, one clock for every process.
inline LONG counterMs() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<LONG>(now.QuadPart * 1000 / frequency.QuadPart);
}

// A pid selector is 0 for nobody, -1 for every pid, else that pid.
inline bool selects(LONG selector, DWORD pid) {
    return selector == -1 || (selector != 0 && static_cast<DWORD>(selector) == pid);
}

// The published slot of `pid`, or null.
inline Slot* findSlot(Record& record, DWORD pid) {
    for (Slot& slot : record.slots) {
        if (slot.pid == static_cast<LONG>(pid)) return &slot;
    }
    return nullptr;
}

// Whether `handle` still names the object of `duplicate`: a closed handle
// fails, and one reused for another object compares unequal.
inline bool sameObject(HANDLE handle, HANDLE duplicate) {
    using Compare = BOOL(WINAPI*)(HANDLE, HANDLE);  // not in the cross toolchain's import library
    static const auto compare = reinterpret_cast<Compare>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CompareObjectHandles")));
    return compare && compare(handle, duplicate);
}

// Publishes a session for `pid`: claimed, filled, then named. Null when
// every slot is taken. Readers take a slot only while its pid is positive.
inline Slot* claimSlot(Record& record, DWORD pid, Slot values) {
    for (Slot& slot : record.slots) {
        if (InterlockedCompareExchange(&slot.pid, -1, 0) != 0) continue;
        values.pid = -1;
        slot = values;
        InterlockedExchange(&slot.pid, static_cast<LONG>(pid));
        return &slot;
    }
    return nullptr;
}

}  // namespace fake
