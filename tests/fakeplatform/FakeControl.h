#pragma once
// The control record of the fake Core Audio platform.
//
// One named file mapping, "Local\vintra-fake-audio-<ns>", is shared by the
// fake mmdevapi.dll (loaded inside the program under test), the player
// processes and the test parents. <ns> is the value of the environment
// variable VINTRA_FAKE_NAMESPACE, which the exe and the players inherit from
// the test parent: several tests run at once in one Wine prefix, so each test
// parent picks a namespace of its own, creates the record before it starts
// anything, and keeps its view open so that the accounting can still be read
// after the program under test has ended.
//
// What lives here:
//   - player slots: the audio sessions the fake reports and the tones its
//     process-loopback clients deliver;
//   - faults: failures a test injects into the fake;
//   - accounting: counters the fake keeps of every object it hands out.
//
// Concurrency: every field is a 32-bit LONG read and written with
// Interlocked operations (or plain aligned loads, which are atomic on x86-64)
// from any thread of any process. A player slot is claimed with
// InterlockedCompareExchange on `inUse` (free -> claimed), filled, then
// published (claimed -> published); the fake reads only published slots. Every
// change to a published slot is followed by bumpGeneration(), which tells the
// fake to recompute which players each client hears; a change without it may
// stay unheard until the next one.
//
// The layout is shared between separately built programs: append new fields
// at the end of a section's reserve only, and raise `version` when a field
// changes meaning.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>

namespace fake {

inline constexpr LONG controlMagic = 0x56464B41;  // "AKFV"
inline constexpr LONG controlVersion = 1;
inline constexpr int maxPlayers = 64;
inline constexpr int endpointCount = 2;

// A selector of process ids for faults: 0 selects nobody, anyPid everybody
// (which also hits the program's start-up probe of its own pid).
inline constexpr LONG noPid = 0;
inline constexpr LONG anyPid = -1;

inline bool selects(LONG selector, DWORD pid) {
    return selector == anyPid || (selector != noPid && static_cast<DWORD>(selector) == pid);
}

// Session states, the values of Core Audio's AudioSessionState.
enum SessionState : LONG { sessionInactive = 0, sessionActive = 1, sessionExpired = 2 };

// Slot life: free -> claimed (being filled by its owner) -> published.
enum SlotUse : LONG { slotFree = 0, slotClaimed = 1, slotPublished = 2 };

// Bits of PlayerSlot::endpointMask and of Faults::endpointFailMask.
inline constexpr LONG endpoint0 = 1;
inline constexpr LONG endpoint1 = 2;

// Bits of PlayerSlot::channelMask: which channels carry the tone.
inline constexpr LONG channelLeft = 1;
inline constexpr LONG channelRight = 2;

struct PlayerSlot {
    volatile LONG inUse;            // SlotUse
    volatile LONG processId;        // the session's process id (0 is reported as such)
    volatile LONG parentProcessId;  // used for include-tree membership
    volatile LONG sessionState;     // SessionState
    volatile LONG systemSounds;     // non-zero: IsSystemSoundsSession answers S_OK
    volatile LONG endpointMask;     // endpoint0 | endpoint1; 0: no session at all
    volatile LONG frequencyHz;      // tone frequency, 1..23999
    volatile LONG level;            // tone peak in 16-bit units, 0..32767
    volatile LONG channelMask;      // channelLeft | channelRight
    volatile LONG playing;          // non-zero: the tone sounds in loopback captures
    volatile LONG processIdResult;  // HRESULT that GetProcessId returns (0: S_OK)
    volatile LONG reserved[5];
};

enum EnumeratorFault : LONG {
    enumeratorOk = 0,
    enumeratorFactoryFails = 1,         // DllGetClassObject answers enumeratorFailCode
    enumeratorCreateInstanceFails = 2,  // IClassFactory::CreateInstance answers it
    enumeratorEndpointsFail = 3,        // EnumAudioEndpoints answers it
};

// How an injected activation failure shows.
enum ActivationFailMode : LONG {
    activationResultFails = 0,       // completes; GetActivateResult reports the code
    activationRefused = 1,           // ActivateAudioInterfaceAsync returns the code
    activationGetResultFails = 2,    // GetActivateResult itself returns the code
    activationNoInterface = 3,       // completes with the (non-negative) code and no interface
};

// Which IAudioClient call fails for clientFailPid.
enum ClientFailStep : LONG {
    clientStepNone = 0,
    clientStepInitialize = 1,
    clientStepSetEventHandle = 2,
    clientStepGetService = 3,
    clientStepStart = 4,
};

// Which per-endpoint call fails for the endpoints in endpointFailMask.
enum EndpointFailStep : LONG {
    endpointStepNone = 0,
    endpointStepItem = 1,
    endpointStepActivate = 2,
    endpointStepSessionEnumerator = 3,
};

inline constexpr LONG delayForever = -1;  // activationDelayMs: until the fault is cleared

struct Faults {
    volatile LONG activationFailPid;   // selector
    volatile LONG activationFailCode;  // HRESULT
    volatile LONG activationFailMode;  // ActivationFailMode
    volatile LONG activationDelayPid;  // selector: completion comes late or never
    volatile LONG activationDelayMs;   // delay, or delayForever (held until the fault is cleared)
    volatile LONG enumeratorFault;     // EnumeratorFault
    volatile LONG enumeratorFailCode;  // HRESULT
    volatile LONG getBufferFailPid;    // selector
    volatile LONG getBufferFailures;   // remaining injected GetBuffer failures (decremented)
    volatile LONG getBufferFailCode;   // HRESULT
    volatile LONG reportSelfSession;   // non-zero: endpoint 0 lists an active session of the capturing process
    volatile LONG clientFailPid;       // selector
    volatile LONG clientFailStep;      // ClientFailStep
    volatile LONG clientFailCode;      // HRESULT
    volatile LONG endpointFailMask;    // endpoint0 | endpoint1
    volatile LONG endpointFailStep;    // EndpointFailStep
    volatile LONG endpointFailCode;    // HRESULT
    volatile LONG reserved[15];
};

// Counters of the fake, all only ever incremented. Paired created/destroyed
// counters balance once everything handed out has been released.
struct Accounting {
    volatile LONG dllAttaches;              // processes that loaded the fake
    volatile LONG dllDetaches;              // ... and unloaded it (ExitProcess included)
    volatile LONG activationsRequested;     // calls of ActivateAudioInterfaceAsync
    volatile LONG activationsRefused;       // ... answered with a negative HRESULT at once
    volatile LONG activationsCompleted;     // ActivateCompleted calls made
    volatile LONG activationsSucceeded;     // ... of which carried a client
    volatile LONG operationsCreated;
    volatile LONG operationsDestroyed;
    volatile LONG handlerReferencesTaken;   // AddRef on the program's completion handler
    volatile LONG handlerReferencesDropped; // Release on it
    volatile LONG audioClientsCreated;
    volatile LONG audioClientsDestroyed;
    volatile LONG audioClientsInitialized;
    volatile LONG initializeRejected;       // Initialize with anything but the program's request
    volatile LONG audioClientStarts;        // successful Start calls
    volatile LONG audioClientStops;         // Stop calls, whatever the state
    volatile LONG audioClientsDestroyedRunning;  // released while started (never stopped)
    volatile LONG captureClientsCreated;
    volatile LONG captureClientsDestroyed;
    volatile LONG eventsRegistered;         // SetEventHandle accepted
    volatile LONG eventsClosed;             // registered events the program has closed since
    volatile LONG eventsOpenAtExit;         // registered events still open when the process ended
    volatile LONG packetsDelivered;         // packets handed out by GetBuffer and released
    volatile LONG packetsDropped;           // packets lost because nobody drained the queue
    volatile LONG silentPackets;            // of the delivered, flagged silent
    volatile LONG getBufferFailuresInjected;
    volatile LONG enumeratorsCreated;
    volatile LONG enumeratorsDestroyed;
    volatile LONG collectionsCreated;
    volatile LONG collectionsDestroyed;
    volatile LONG devicesCreated;
    volatile LONG devicesDestroyed;
    volatile LONG sessionManagersCreated;
    volatile LONG sessionManagersDestroyed;
    volatile LONG sessionEnumeratorsCreated;
    volatile LONG sessionEnumeratorsDestroyed;
    volatile LONG sessionControlsCreated;
    volatile LONG sessionControlsDestroyed;
    volatile LONG classFactoriesCreated;
    volatile LONG classFactoriesDestroyed;
    volatile LONG eventsClosedEarly;        // closed while the client they were registered with lived
    volatile LONG reserved[23];
};

struct ControlRecord {
    volatile LONG magic;       // controlMagic once initialised
    volatile LONG version;     // controlVersion
    volatile LONG size;        // sizeof(ControlRecord)
    volatile LONG generation;  // bumped after every change to the slots
    PlayerSlot slots[maxPlayers];
    Faults faults;
    Accounting accounting;
};

// Sizes fixed so that separately built programs agree on the layout.
static_assert(sizeof(PlayerSlot) == 64);
static_assert(sizeof(Faults) == 128);
static_assert(sizeof(Accounting) == 256);
static_assert(offsetof(ControlRecord, slots) == 16);

inline void bumpGeneration(ControlRecord& record) { InterlockedIncrement(&record.generation); }

// The mapping name for a namespace.
inline std::wstring controlName(const std::wstring& ns) { return L"Local\\vintra-fake-audio-" + ns; }

// The namespace this process inherited (empty when the variable is unset).
inline std::wstring inheritedNamespace() {
    wchar_t buffer[256];
    DWORD n = GetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", buffer, 256);
    return (n > 0 && n < 256) ? std::wstring(buffer, n) : std::wstring();
}

// A view of the record. Creates the mapping if no one has yet (the pages of
// a new mapping are zero: no players, no faults, no counts) and stamps the
// header. Move-only; unmapping keeps the record alive while any other process
// still holds it.
class ControlView {
public:
    ControlView() = default;
    explicit ControlView(const std::wstring& ns) { open(ns); }
    ControlView(const ControlView&) = delete;
    ControlView& operator=(const ControlView&) = delete;
    ControlView(ControlView&& other) noexcept : mapping(other.mapping), record(other.record) {
        other.mapping = nullptr;
        other.record = nullptr;
    }
    ~ControlView() { close(); }

    bool open(const std::wstring& ns) {
        close();
        mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(ControlRecord), controlName(ns).c_str());
        if (!mapping) return false;
        record = static_cast<ControlRecord*>(
            MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ControlRecord)));
        if (!record) {
            CloseHandle(mapping);
            mapping = nullptr;
            return false;
        }
        // Whoever comes first stamps the header; the rest of a new mapping is
        // already zero, which is the quiet state.
        if (InterlockedCompareExchange(&record->magic, controlMagic, 0) == 0) {
            record->version = controlVersion;
            record->size = sizeof(ControlRecord);
        }
        return true;
    }
    void close() {
        if (record) UnmapViewOfFile(const_cast<ControlRecord*>(record));
        if (mapping) CloseHandle(mapping);
        record = nullptr;
        mapping = nullptr;
    }

    explicit operator bool() const { return record != nullptr; }
    ControlRecord* get() const { return record; }
    ControlRecord* operator->() const { return record; }

private:
    HANDLE mapping = nullptr;
    ControlRecord* record = nullptr;
};

// The values a new session starts with.
struct SessionSettings {
    DWORD processId = 0;
    DWORD parentProcessId = 0;
    LONG state = sessionActive;
    bool systemSounds = false;
    LONG endpointMask = endpoint0;
    LONG frequencyHz = 440;
    LONG level = 8192;
    LONG channelMask = channelLeft | channelRight;
    bool playing = true;
};

// Claims a free slot, fills it and publishes it. Returns the slot index or
// -1 when all slots are taken.
inline int claimSlot(ControlRecord& record, const SessionSettings& s) {
    for (int i = 0; i < maxPlayers; ++i) {
        PlayerSlot& slot = record.slots[i];
        if (InterlockedCompareExchange(&slot.inUse, slotClaimed, slotFree) != slotFree) continue;
        slot.processId = static_cast<LONG>(s.processId);
        slot.parentProcessId = static_cast<LONG>(s.parentProcessId);
        slot.sessionState = s.state;
        slot.systemSounds = s.systemSounds ? 1 : 0;
        slot.endpointMask = s.endpointMask;
        slot.frequencyHz = s.frequencyHz;
        slot.level = s.level;
        slot.channelMask = s.channelMask;
        slot.playing = s.playing ? 1 : 0;
        slot.processIdResult = 0;
        InterlockedExchange(&slot.inUse, slotPublished);
        bumpGeneration(record);
        return i;
    }
    return -1;
}

inline void releaseSlot(ControlRecord& record, int index) {
    if (index < 0 || index >= maxPlayers) return;
    InterlockedExchange(&record.slots[index].inUse, slotFree);
    bumpGeneration(record);
}

// The published slot of a process, or -1.
inline int findSlot(const ControlRecord& record, DWORD pid) {
    for (int i = 0; i < maxPlayers; ++i) {
        const PlayerSlot& slot = record.slots[i];
        if (slot.inUse == slotPublished && static_cast<DWORD>(slot.processId) == pid) return i;
    }
    return -1;
}

// Frees the slots of processes that have ended without clearing their slot
// (for instance players a test killed). Returns how many were freed.
inline int releaseSlotsOfEndedProcesses(ControlRecord& record) {
    int freed = 0;
    for (int i = 0; i < maxPlayers; ++i) {
        PlayerSlot& slot = record.slots[i];
        if (slot.inUse != slotPublished || slot.processId == 0) continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(slot.processId));
        bool ended = !process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        if (process) CloseHandle(process);
        if (ended) {
            releaseSlot(record, i);
            ++freed;
        }
    }
    return freed;
}

// Clears every fault (the accounting is left alone).
inline void clearFaults(ControlRecord& record) {
    volatile LONG* field = reinterpret_cast<volatile LONG*>(&record.faults);
    for (std::size_t i = 0; i < sizeof(Faults) / sizeof(LONG); ++i) InterlockedExchange(&field[i], 0);
}

// A consistent-enough copy of the counters for comparing before and after.
inline Accounting snapshotAccounting(const ControlRecord& record) {
    Accounting copy{};
    const volatile LONG* from = reinterpret_cast<const volatile LONG*>(&record.accounting);
    volatile LONG* to = reinterpret_cast<volatile LONG*>(&copy);
    for (std::size_t i = 0; i < sizeof(Accounting) / sizeof(LONG); ++i) to[i] = from[i];
    return copy;
}

}  // namespace fake
