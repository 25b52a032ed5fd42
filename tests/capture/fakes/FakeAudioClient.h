#pragma once
// A fake IAudioClient for the opening and stopping of a capture source: each
// step of the opening can be made to fail, every call is logged
// ("audioClient.<Method>"), and the arguments that matter are recorded in an
// AudioClientRecord that outlives the fake.
//
// GetService hands out a new FakeCaptureClient that plays `script`.
//
// Threads: called by the test thread (opening, stopping); the record is
// written before the calls return, so the test reads it afterwards.

#include "fakes/FakeCaptureClient.h"

#include <memory>
#include <optional>

enum class OpenStep { none, Initialize, SetEventHandle, GetService, Start };

struct AudioClientRecord {
    struct InitializeArguments {
        AUDCLNT_SHAREMODE shareMode;
        DWORD streamFlags;
        REFERENCE_TIME bufferDuration;
        REFERENCE_TIME periodicity;
        std::optional<WAVEFORMATEX> format;
        bool sessionGuidGiven;
    };
    std::optional<InitializeArguments> initialize;
    HANDLE registeredEvent = nullptr;
    // Whether the registered event was still open when the last reference to
    // the client went: it must be, since the client is what signals it.
    std::optional<bool> eventOpenAtDestruction;
};

class FakeAudioClient final : public FakeCom<IAudioClient> {
public:
    FakeAudioClient(std::shared_ptr<AudioClientRecord> record, std::shared_ptr<CaptureScript> script,
                    OpenStep failing = OpenStep::none);

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags,
                                         REFERENCE_TIME bufferDuration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID sessionGuid) override;
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
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** service) override;

    // What a failing step returns.
    static constexpr HRESULT stepFailure = AUDCLNT_E_UNSUPPORTED_FORMAT;

private:
    ~FakeAudioClient() override;

    std::shared_ptr<AudioClientRecord> record;
    std::shared_ptr<CaptureScript> script;
    OpenStep failing;
};
