#include "fakes/FakeAudioClient.h"

FakeAudioClient::FakeAudioClient(std::shared_ptr<AudioClientRecord> record, std::shared_ptr<CaptureScript> script,
                                 OpenStep failing)
    : FakeCom("audioClient"), record(std::move(record)), script(std::move(script)), failing(failing) {}

FakeAudioClient::~FakeAudioClient() {
    if (record->registeredEvent != nullptr) {
        DWORD flags = 0;
        record->eventOpenAtDestruction = GetHandleInformation(record->registeredEvent, &flags) != FALSE;
    }
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags,
                                                      REFERENCE_TIME bufferDuration, REFERENCE_TIME periodicity,
                                                      const WAVEFORMATEX* format, LPCGUID sessionGuid) {
    logFake("audioClient.Initialize");
    AudioClientRecord::InitializeArguments arguments{shareMode, streamFlags, bufferDuration, periodicity,
                                                     std::nullopt, sessionGuid != nullptr};
    if (format != nullptr) {
        arguments.format = *format;
    }
    record->initialize = arguments;
    return failing == OpenStep::Initialize ? stepFailure : S_OK;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::GetBufferSize(UINT32*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::GetStreamLatency(REFERENCE_TIME*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::GetCurrentPadding(UINT32*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*,
                                                             WAVEFORMATEX**) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::GetMixFormat(WAVEFORMATEX**) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::Start() {
    logFake("audioClient.Start");
    return failing == OpenStep::Start ? stepFailure : S_OK;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::Stop() {
    logFake("audioClient.Stop");
    // As the system answers for a stream that was never started.
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::Reset() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::SetEventHandle(HANDLE event) {
    logFake("audioClient.SetEventHandle");
    if (event == nullptr) {
        return E_INVALIDARG;
    }
    record->registeredEvent = event;
    return failing == OpenStep::SetEventHandle ? stepFailure : S_OK;
}

HRESULT STDMETHODCALLTYPE FakeAudioClient::GetService(REFIID iid, void** service) {
    logFake("audioClient.GetService");
    if (service == nullptr) {
        return E_POINTER;
    }
    *service = nullptr;
    if (failing == OpenStep::GetService) {
        return stepFailure;
    }
    if (!IsEqualIID(iid, __uuidof(IAudioCaptureClient))) {
        return E_NOINTERFACE;
    }
    *service = static_cast<IAudioCaptureClient*>(new FakeCaptureClient(script));
    return S_OK;
}
