// The fake process-loopback audio client and the packet engine that paces it.
//
// A client takes exactly the stream the program asks for and nothing else.
// Once started, a packet of 480 frames falls due every 10 ms of the target's
// clock (off by its slot's clockPpm from the system's) and the engine
// signals the registered event; the packet is made when GetBuffer takes it
// (the tone of the target's session slot, or a silent packet whose buffer
// holds loud garbage), and beyond 10 waiting packets the oldest are dropped.
// With faults.manualPackets packets fall due only as the test queues them,
// the event is signalled once per queueing, and GetBuffer notes whether the
// worker waited on the event since the packet before. A client made before
// its slot's `invalidations` was last raised is dead: the capture calls of
// its slot's `lossCalls` answer its `lossCode` from then on, as Windows' do
// until the client is released (a buffer it held is gone with it).
//
// Misuse counted: any call out of the program's order; Stop while a buffer
// is taken (or being taken); a capture call on a client that is not running;
// the audio client released while still running, before its capture client
// (it is then left alive, for the capture client's sake), or after the
// program closed its event (the event goes last, once nothing signals it).
//
// Threads: the program calls from any thread. clientLock guards every
// client's state and the engine's list; the engine is the fake's service
// thread (Runtime.h), at time-critical priority, as an audio engine's is.

#include "Runtime.h"

#include <audioclient.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <vector>

namespace fakeplatform {
namespace {

constexpr UINT32 packetFrames = 480;
constexpr DWORD askedFlags =
    AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM;
constexpr WAVEFORMATEX askedFormat{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};

std::mutex clientLock;
using Locked = std::lock_guard<std::mutex>;

class Client final : public ComObject<IAudioClient> {
public:
    explicit Client(DWORD target) : target(target), invalidationsAtCreation(invalidationsOf(target)) {
        bump(counts().clients);
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                         REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                         LPCGUID session) override {
        Locked guard(clientLock);
        if (initialized || mode != AUDCLNT_SHAREMODE_SHARED || flags != askedFlags || duration != 200000 ||
            periodicity != 0 || session || !format || std::memcmp(format, &askedFormat, sizeof askedFormat) != 0) {
            return MISUSE;
        }
        initialized = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override {
        Locked guard(clientLock);
        if (!initialized || signal) return MISUSE;
        HANDLE self = GetCurrentProcess();
        if (!event || !DuplicateHandle(self, event, self, &signal, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            signal = nullptr;
            return E_INVALIDARG;  // as Windows answers a null handle
        }
        programEvent = event;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE Start() override {
        Locked guard(clientLock);
        if (!captureAlive || started) return MISUSE;
        started = true;
        startedAt = GetTickCount64();
        queuedAtStart = faults().queuedPackets;
        fake::Slot* slot = fake::findSlot(record(), target);
        bump(slot ? slot->captures : counts().unslottedCaptures);
        clockPpm = slot ? slot->clockPpm : 0;
        bump(counts().running);
        bump(counts().starts);
        running.push_back(this);
        return startService() ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        Locked guard(clientLock);
        if (held) return MISUSE;  // the worker is still taking or holding a buffer
        stopRunning();
        return S_OK;
    }
    UNUSED(GetBufferSize, UINT32*) UNUSED(GetStreamLatency, REFERENCE_TIME*) UNUSED(GetCurrentPadding, UINT32*)
    UNUSED(IsFormatSupported, AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**)
    UNUSED(GetMixFormat, WAVEFORMATEX**) UNUSED(GetDevicePeriod, REFERENCE_TIME*, REFERENCE_TIME*) UNUSED(Reset)

    // The capture client's calls.
    HRESULT nextPacketSize(UINT32* frames) {
        Locked guard(clientLock);
        if (!frames || !started) return MISUSE;
        if (const HRESULT lost = lossAnswer(0); lost != S_OK) return lost;
        *frames = waiting() > 0 ? packetFrames : 0;
        return S_OK;
    }
    HRESULT getBuffer(BYTE** data, UINT32* frames, DWORD* flags) {
        {
            Locked guard(clientLock);
            if (!data || !frames || !flags || !started || held) return MISUSE;
            if (const HRESULT lost = lossAnswer(1); lost != S_OK) return lost;
            held = true;
        }
        if (faults().holdGetBuffer) {
            bump(counts().heldGetBuffers);
            while (faults().holdGetBuffer) Sleep(5);
            bump(counts().heldGetBuffers, -1);
        }
        Locked guard(clientLock);
        const bool fails = faults().getBufferFailures > 0 && bump(faults().getBufferFailures, -1) >= 0;
        held = !fails;
        if (fails) return AUDCLNT_E_BUFFER_ERROR;
        if (waiting() <= 0) return MISUSE;  // GetNextPacketSize said there was none
        if (faults().manualPackets) {
            // Still signalled from the packet before: the worker did not wait.
            if (WaitForSingleObject(signal, 0) == WAIT_OBJECT_0) bump(counts().sameWakePackets);
            SetEvent(signal);
        }
        makePacket(flags);
        *data = reinterpret_cast<BYTE*>(packet);
        *frames = packetFrames;
        return S_OK;
    }
    HRESULT releaseBuffer(UINT32 frames) {
        Locked guard(clientLock);
        if (!held || (frames != 0 && frames != packetFrames)) return MISUSE;
        held = false;
        if (const HRESULT lost = lossAnswer(2); lost != S_OK) return lost;
        taken += frames ? 1 : 0;
        bump(counts().delivered, frames ? 1 : 0);
        if (fake::Slot* slot = fake::findSlot(record(), target); slot && frames) bump(slot->delivered);
        return S_OK;
    }

    // The engine, under clientLock: signals the event of each running
    // client whose packets have fallen due since it last did.
    static void signalDue() {
        Locked guard(clientLock);
        for (Client* client : running) {
            if (client->due() > client->signalled) SetEvent(client->signal);
            client->signalled = std::max(client->signalled, client->due());
        }
    }

private:
    friend class CaptureClient;
    void lastReleased() override {
        Locked guard(clientLock);
        if (started) MISUSE;  // released while running
        if (captureAlive) {   // before the capture client taken from it, which still points here
            MISUSE;
            return;
        }
        stopRunning();
        if (signal && !fake::sameObject(programEvent, signal)) MISUSE;  // closed before the client that signals it went
        if (signal) CloseHandle(signal);
        bump(counts().clients, -1);
        delete this;
    }
    void stopRunning() {
        if (!started) return;
        started = false;
        std::erase(running, this);
        bump(counts().running, -1);
        bump(counts().stops);
    }
    static LONG invalidationsOf(DWORD pid) {
        const fake::Slot* slot = fake::findSlot(record(), pid);
        return slot ? slot->invalidations : 0;
    }
    // What the capture call `call` (the bit of lossCalls) answers: S_OK while
    // the client lives, or the slot's loss code once it is dead there.
    HRESULT lossAnswer(int call) const {
        const fake::Slot* slot = fake::findSlot(record(), target);
        if (!slot || slot->invalidations == invalidationsAtCreation) return S_OK;
        if (slot->lossCalls != 0 && (slot->lossCalls & (1 << call)) == 0) return S_OK;
        bump(counts().invalidatedCalls);
        return slot->lossCode ? slot->lossCode : AUDCLNT_E_DEVICE_INVALIDATED;
    }
    LONG due() const {
        return faults().manualPackets ? faults().queuedPackets - queuedAtStart
                                      : static_cast<LONG>(static_cast<LONGLONG>(GetTickCount64() - startedAt) *
                                                          (1000000 + clockPpm) / 10000000);
    }
    LONG waiting() {
        // Nobody drained in time: the oldest packets are lost, as in an overrun.
        if (!faults().manualPackets) taken = std::max(taken, due() - 10);
        return due() - taken;
    }
    void makePacket(DWORD* flags) {
        const fake::Slot* slot = fake::findSlot(record(), target);
        const LONG level = slot ? slot->level : 0;
        *flags = level > 0 ? 0 : AUDCLNT_BUFFERFLAGS_SILENT;
        // A turning phasor: one sine and cosine per packet, not one per sample.
        const double step = 6.283185307179586 * (slot ? slot->frequency : 0) / 48000;
        const std::complex<double> turn = std::polar(1.0, step);
        std::complex<double> phase = std::polar(1.0, std::fmod(step * taken * packetFrames, 6.283185307179586));
        for (UINT32 frame = 0; frame < packetFrames; ++frame, phase *= turn) {
            // A silent packet's buffer holds loud garbage: only its flag says silence.
            const auto value = static_cast<std::int16_t>(level > 0 ? std::lround(phase.imag() * level) : 0x4321);
            packet[2 * frame] = packet[2 * frame + 1] = value;
        }
    }

    const DWORD target;
    const LONG invalidationsAtCreation;
    bool initialized = false, captureAlive = false, started = false, held = false;
    HANDLE programEvent = nullptr, signal = nullptr;  // the program's handle and our duplicate
    ULONGLONG startedAt = 0;
    LONG queuedAtStart = 0, taken = 0, signalled = 0, clockPpm = 0;
    std::int16_t packet[2 * packetFrames];
    static inline std::vector<Client*> running;  // started clients
};

class CaptureClient final : public ComObject<IAudioCaptureClient> {
public:
    explicit CaptureClient(Client* owner) : owner(owner) {}
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64*, UINT64*) override {
        return owner->getBuffer(data, frames, flags);
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override { return owner->releaseBuffer(frames); }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override { return owner->nextPacketSize(frames); }

private:
    ~CaptureClient() override {
        const Locked guard(clientLock);
        owner->captureAlive = false;
    }
    Client* const owner;  // outlives this object, or is left alive for it
};

HRESULT Client::GetService(REFIID iid, void** out) {
    Locked guard(clientLock);
    if (!out || !signal || captureAlive || iid != __uuidof(IAudioCaptureClient)) return MISUSE;
    captureAlive = true;
    *out = static_cast<IAudioCaptureClient*>(new CaptureClient(this));
    return S_OK;
}

}  // namespace

IUnknown* newClient(DWORD target) { return static_cast<IAudioClient*>(new Client(target)); }

bool startService() {
    // From the first use on, as long as the process runs.
    static const bool started = [] {
        HANDLE thread = CreateThread(nullptr, 0, [](void*) -> DWORD {
            for (LONG last = fake::counterMs();; Sleep(5)) {
                // A round 20 ms late: this process was held off the CPU.
                const LONG now = fake::counterMs();
                if (now - last >= 20) {
                    const LONG stall = bump(counts().engineStalls);
                    if (stall <= static_cast<LONG>(std::size(counts().engineStallTimes))) {
                        counts().engineStallTimes[stall - 1] = now;
                    }
                }
                last = now;
                Client::signalDue();
                tellListeners();
            }
        }, nullptr, 0, nullptr);
        SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
        return CloseHandle(thread);
    }();
    return started;
}

}  // namespace fakeplatform
