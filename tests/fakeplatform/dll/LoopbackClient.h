#pragma once
// The fake process-loopback audio client and its capture client.
//
// A LoopbackClient accepts exactly the stream the program requests (shared
// mode, loopback + event callback + PCM conversion, 48000 Hz 2-channel 16-bit
// PCM, 200000 x 100 ns, periodicity 0) and refuses anything else, counting
// the refusal. Once started, the packet engine adds a 480-frame packet to its
// queue every 10 ms of performance-counter time and signals the registered
// event; a queue that nobody drains keeps at most queueCapacity packets and
// drops the newest, marking the next kept packet as a discontinuity. A packet
// without any playing member is flagged AUDCLNT_BUFFERFLAGS_SILENT and its
// buffer holds loud non-zero garbage, so that a reader that ignores the flag
// is heard.
//
// Threads: the program may call any method from any thread. `lock` guards
// every field below it, between the program's calls and the packet engine,
// which takes the engine lock first and then a client's lock (never the other
// way round).

#include "FakeRuntime.h"
#include "ToneSynth.h"

#include <audioclient.h>

#include <cstdint>

namespace fakeplatform {

inline constexpr int queueCapacity = 8;

class LoopbackClient final : public ComObject<IAudioClient> {
public:
    explicit LoopbackClient(DWORD targetProcessId);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags, REFERENCE_TIME bufferDuration,
                                         REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                         LPCGUID sessionGuid) override;
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override;
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE shareMode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override;
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override;
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod, REFERENCE_TIME* minimumPeriod) override;
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override;
    HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** out) override;

    // The capture client's calls.
    HRESULT nextPacketSize(UINT32* frames);
    HRESULT getBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* devicePosition, UINT64* counterPosition);
    HRESULT releaseBuffer(UINT32 frames);

    // The packet engine's call, under the engine lock: queues the packets
    // due by `now` and returns when the next one is due.
    LONGLONG pump(LONGLONG now);

private:
    ~LoopbackClient() override;
    bool failsAt(LONG step, HRESULT& code) const;

    struct Packet {
        std::int16_t samples[packetSamples];
        bool silent;
        bool discontinuity;
        UINT64 devicePosition;
        UINT64 counterPosition;  // 100-ns units, as Core Audio reports it
    };

    const DWORD target;
    SRWLOCK lock = SRWLOCK_INIT;
    bool initialized = false;
    bool started = false;
    bool held = false;              // between GetBuffer and ReleaseBuffer
    bool pendingDiscontinuity = false;
    HANDLE signal = nullptr;        // our duplicate of the registered event
    int eventTicket = -1;
    LONGLONG startCounter = 0;
    std::uint64_t packetsProduced = 0;  // since the last Start, dropped ones included
    std::uint64_t framePosition = 0;    // since creation
    int head = 0;
    int queued = 0;
    ToneState tone;
    Packet queue[queueCapacity];
};

class CaptureClient final : public ComObject<IAudioCaptureClient> {
public:
    explicit CaptureClient(LoopbackClient* owner);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* devicePosition,
                                        UINT64* counterPosition) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override;
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override;

private:
    ~CaptureClient() override;
    LoopbackClient* const client;  // one reference held for our lifetime
};

}  // namespace fakeplatform
