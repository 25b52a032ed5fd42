// The fake process-loopback audio client and capture client.

#include "LoopbackClient.h"

#include "EventTracker.h"
#include "PacketEngine.h"

namespace fakeplatform {
namespace {

constexpr DWORD expectedFlags = AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM;
constexpr REFERENCE_TIME expectedDuration = 200000;
constexpr REFERENCE_TIME packetDuration = 100000;  // 10 ms in 100-ns units

bool isCaptureFormat(const WAVEFORMATEX* f) {
    return f->wFormatTag == WAVE_FORMAT_PCM && f->nChannels == 2 && f->nSamplesPerSec == 48000 &&
           f->nAvgBytesPerSec == 192000 && f->nBlockAlign == 4 && f->wBitsPerSample == 16 && f->cbSize == 0;
}

// What a silent packet's buffer holds: loud, never zero, so that a reader
// that mixes it in instead of honouring the flag is plainly heard.
const std::int16_t* silentGarbage() {
    static const struct Garbage {
        std::int16_t values[packetSamples];
        Garbage() {
            for (int i = 0; i < packetSamples; ++i) {
                const int magnitude = 12000 + (i * 37) % 8000;
                values[i] = static_cast<std::int16_t>((i / 2) % 2 ? magnitude : -magnitude);
            }
        }
    } garbage;
    return garbage.values;
}

}  // namespace

LoopbackClient::LoopbackClient(DWORD targetProcessId)
    : ComObject(accounts().audioClientsCreated, accounts().audioClientsDestroyed), target(targetProcessId) {}

LoopbackClient::~LoopbackClient() {
    removeClient(this);
    if (started) bump(accounts().audioClientsDestroyedRunning);
    if (signal) CloseHandle(signal);
    clientReleased(eventTicket);
}

HRESULT LoopbackClient::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IAudioClient)) return give(static_cast<IAudioClient*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

bool LoopbackClient::failsAt(LONG step, HRESULT& code) const {
    const fake::Faults& f = faults();
    if (f.clientFailStep != step || !fake::selects(f.clientFailPid, target)) return false;
    code = f.clientFailCode < 0 ? f.clientFailCode : E_FAIL;
    return true;
}

HRESULT LoopbackClient::Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags, REFERENCE_TIME bufferDuration,
                                   REFERENCE_TIME periodicity, const WAVEFORMATEX* format, LPCGUID sessionGuid) {
    HRESULT injected;
    if (failsAt(fake::clientStepInitialize, injected)) return injected;
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = S_OK;
    if (initialized) {
        hr = AUDCLNT_E_ALREADY_INITIALIZED;
    } else if (!format) {
        hr = E_POINTER;
    } else if (shareMode != AUDCLNT_SHAREMODE_SHARED || streamFlags != expectedFlags ||
               bufferDuration != expectedDuration || periodicity != 0 ||
               (sessionGuid && *sessionGuid != GUID_NULL)) {
        hr = E_INVALIDARG;
    } else if (!isCaptureFormat(format)) {
        hr = AUDCLNT_E_UNSUPPORTED_FORMAT;
    } else {
        initialized = true;
    }
    ReleaseSRWLockExclusive(&lock);
    bump(hr == S_OK ? accounts().audioClientsInitialized : accounts().initializeRejected);
    return hr;
}

HRESULT LoopbackClient::GetBufferSize(UINT32* frames) {
    if (!frames) return E_POINTER;
    if (!initialized) return AUDCLNT_E_NOT_INITIALIZED;
    *frames = 2 * packetFrames;
    return S_OK;
}

HRESULT LoopbackClient::GetStreamLatency(REFERENCE_TIME* latency) {
    if (!latency) return E_POINTER;
    if (!initialized) return AUDCLNT_E_NOT_INITIALIZED;
    *latency = packetDuration;
    return S_OK;
}

HRESULT LoopbackClient::GetCurrentPadding(UINT32* frames) {
    if (!frames) return E_POINTER;
    AcquireSRWLockShared(&lock);
    const bool ready = initialized;
    *frames = ready ? static_cast<UINT32>(queued * packetFrames) : 0;
    ReleaseSRWLockShared(&lock);
    return ready ? S_OK : AUDCLNT_E_NOT_INITIALIZED;
}

HRESULT LoopbackClient::IsFormatSupported(AUDCLNT_SHAREMODE shareMode, const WAVEFORMATEX* format,
                                          WAVEFORMATEX** closest) {
    if (closest) *closest = nullptr;
    if (!format) return E_POINTER;
    return shareMode == AUDCLNT_SHAREMODE_SHARED && isCaptureFormat(format) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

// Windows' process-loopback clients have no mix format either.
HRESULT LoopbackClient::GetMixFormat(WAVEFORMATEX**) { return E_NOTIMPL; }

HRESULT LoopbackClient::GetDevicePeriod(REFERENCE_TIME* defaultPeriod, REFERENCE_TIME* minimumPeriod) {
    if (!defaultPeriod && !minimumPeriod) return E_POINTER;
    if (defaultPeriod) *defaultPeriod = packetDuration;
    if (minimumPeriod) *minimumPeriod = packetDuration;
    return S_OK;
}

HRESULT LoopbackClient::Start() {
    HRESULT injected;
    if (failsAt(fake::clientStepStart, injected)) return injected;
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = S_OK;
    if (!initialized) {
        hr = AUDCLNT_E_NOT_INITIALIZED;
    } else if (started) {
        hr = AUDCLNT_E_NOT_STOPPED;
    } else if (!signal) {
        hr = AUDCLNT_E_EVENTHANDLE_NOT_SET;
    } else {
        started = true;
        startCounter = counterNow();
        packetsProduced = 0;
    }
    ReleaseSRWLockExclusive(&lock);
    if (hr == S_OK) {
        bump(accounts().audioClientStarts);
        addClient(this);
    }
    return hr;
}

HRESULT LoopbackClient::Stop() {
    bump(accounts().audioClientStops);
    removeClient(this);
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = !initialized ? AUDCLNT_E_NOT_INITIALIZED : (started ? S_OK : S_FALSE);
    started = false;
    ReleaseSRWLockExclusive(&lock);
    return hr;
}

HRESULT LoopbackClient::Reset() {
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = S_OK;
    if (!initialized) {
        hr = AUDCLNT_E_NOT_INITIALIZED;
    } else if (started) {
        hr = AUDCLNT_E_NOT_STOPPED;
    } else if (held) {
        hr = AUDCLNT_E_BUFFER_OPERATION_PENDING;
    } else {
        head = 0;
        queued = 0;
    }
    ReleaseSRWLockExclusive(&lock);
    return hr;
}

HRESULT LoopbackClient::SetEventHandle(HANDLE event) {
    HRESULT injected;
    if (failsAt(fake::clientStepSetEventHandle, injected)) return injected;
    if (!event || event == INVALID_HANDLE_VALUE) return E_INVALIDARG;
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = S_OK;
    HANDLE self = GetCurrentProcess();
    HANDLE duplicate = nullptr;
    if (!initialized) {
        hr = AUDCLNT_E_NOT_INITIALIZED;
    } else if (!DuplicateHandle(self, event, self, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        hr = E_INVALIDARG;
    } else {
        if (signal) CloseHandle(signal);
        signal = duplicate;
    }
    ReleaseSRWLockExclusive(&lock);
    if (hr == S_OK) {
        bump(accounts().eventsRegistered);
        const int ticket = trackEvent(event);
        AcquireSRWLockExclusive(&lock);
        if (eventTicket >= 0) {
            const int previous = eventTicket;
            eventTicket = ticket;
            ReleaseSRWLockExclusive(&lock);
            clientReleased(previous);  // a replaced event may be closed from now on
        } else {
            eventTicket = ticket;
            ReleaseSRWLockExclusive(&lock);
        }
    }
    return hr;
}

HRESULT LoopbackClient::GetService(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT injected;
    if (failsAt(fake::clientStepGetService, injected)) return injected;
    if (!initialized) return AUDCLNT_E_NOT_INITIALIZED;
    if (riid != __uuidof(IAudioCaptureClient)) return E_NOINTERFACE;
    *out = static_cast<IAudioCaptureClient*>(new CaptureClient(this));
    return S_OK;
}

HRESULT LoopbackClient::nextPacketSize(UINT32* frames) {
    if (!frames) return E_POINTER;
    AcquireSRWLockShared(&lock);
    const bool ready = initialized;
    *frames = ready && queued > 0 ? packetFrames : 0;
    ReleaseSRWLockShared(&lock);
    return ready ? S_OK : AUDCLNT_E_NOT_INITIALIZED;
}

HRESULT LoopbackClient::getBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* devicePosition,
                                  UINT64* counterPosition) {
    if (!data || !frames || !flags) return E_POINTER;
    *data = nullptr;
    *frames = 0;
    *flags = 0;
    fake::Faults& f = faults();
    if (fake::selects(f.getBufferFailPid, target) && takeOne(f.getBufferFailures)) {
        bump(accounts().getBufferFailuresInjected);
        return f.getBufferFailCode < 0 ? f.getBufferFailCode : AUDCLNT_E_DEVICE_INVALIDATED;
    }
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = S_OK;
    if (!initialized) {
        hr = AUDCLNT_E_NOT_INITIALIZED;
    } else if (held) {
        hr = AUDCLNT_E_OUT_OF_ORDER;
    } else if (queued == 0) {
        hr = AUDCLNT_S_BUFFER_EMPTY;
    } else {
        Packet& p = queue[head];
        *data = reinterpret_cast<BYTE*>(const_cast<std::int16_t*>(p.silent ? silentGarbage() : p.samples));
        *frames = packetFrames;
        *flags = (p.silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0) | (p.discontinuity ? AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY : 0);
        if (devicePosition) *devicePosition = p.devicePosition;
        if (counterPosition) *counterPosition = p.counterPosition;
        held = true;
    }
    ReleaseSRWLockExclusive(&lock);
    return hr;
}

HRESULT LoopbackClient::releaseBuffer(UINT32 frames) {
    AcquireSRWLockExclusive(&lock);
    HRESULT hr = S_OK;
    bool silent = false;
    if (!held) {
        hr = AUDCLNT_E_OUT_OF_ORDER;
    } else if (frames == 0) {
        held = false;  // the packet stays for the next GetBuffer
    } else if (frames != packetFrames) {
        hr = AUDCLNT_E_INVALID_SIZE;
    } else {
        silent = queue[head].silent;
        head = (head + 1) % queueCapacity;
        --queued;
        held = false;
    }
    ReleaseSRWLockExclusive(&lock);
    if (hr == S_OK && frames == packetFrames) {
        bump(accounts().packetsDelivered);
        if (silent) bump(accounts().silentPackets);
    }
    return hr;
}

LONGLONG LoopbackClient::pump(LONGLONG now) {
    const LONGLONG frequency = counterFrequency();
    // Packet n is complete at start + (n + 1) periods; computing each due
    // time from the start keeps the stream from drifting.
    auto dueOf = [&](std::uint64_t n) { return startCounter + static_cast<LONGLONG>((n + 1) * frequency / 100); };
    bool produced = false;
    AcquireSRWLockExclusive(&lock);
    if (!started) {
        ReleaseSRWLockExclusive(&lock);
        return LLONG_MAX;
    }
    const fake::ControlRecord& record = control();
    while (dueOf(packetsProduced) <= now) {
        const LONGLONG due = dueOf(packetsProduced);
        const bool farBehind = dueOf(packetsProduced + queueCapacity) <= now;
        if (queued == queueCapacity || farBehind) {
            // Nobody drained the queue in time (or the engine itself was held
            // up): these frames are lost, as in a real engine's overrun.
            bump(accounts().packetsDropped);
            pendingDiscontinuity = true;
        } else {
            Packet& p = queue[(head + queued) % queueCapacity];
            p.silent = !synthesizePacket(record, target, tone, p.samples);
            p.discontinuity = pendingDiscontinuity;
            pendingDiscontinuity = false;
            p.devicePosition = framePosition;
            p.counterPosition = static_cast<UINT64>(due / frequency * 10000000 + due % frequency * 10000000 / frequency);
            ++queued;
            produced = true;
        }
        framePosition += packetFrames;
        ++packetsProduced;
    }
    const LONGLONG next = dueOf(packetsProduced);
    if (produced && signal) SetEvent(signal);
    ReleaseSRWLockExclusive(&lock);
    return next;
}

CaptureClient::CaptureClient(LoopbackClient* owner)
    : ComObject(accounts().captureClientsCreated, accounts().captureClientsDestroyed), client(owner) {
    client->AddRef();
}

CaptureClient::~CaptureClient() { client->Release(); }

HRESULT CaptureClient::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IAudioCaptureClient))
        return give(static_cast<IAudioCaptureClient*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT CaptureClient::GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* devicePosition,
                                 UINT64* counterPosition) {
    return client->getBuffer(data, frames, flags, devicePosition, counterPosition);
}

HRESULT CaptureClient::ReleaseBuffer(UINT32 frames) { return client->releaseBuffer(frames); }

HRESULT CaptureClient::GetNextPacketSize(UINT32* frames) { return client->nextPacketSize(frames); }

}  // namespace fakeplatform
