#include "fakes/FakeCaptureClient.h"

CaptureStep CaptureStep::packet(std::vector<std::int16_t> samples, DWORD flags) {
    CaptureStep step;
    step.samples = std::move(samples);
    step.flags = flags;
    return step;
}

CaptureStep CaptureStep::sizeFails() {
    CaptureStep step;
    step.kind = Kind::sizeFails;
    return step;
}

CaptureStep CaptureStep::bufferFails(UINT32 reportedFrames) {
    CaptureStep step;
    step.kind = Kind::bufferFails;
    step.reportedFrames = reportedFrames;
    return step;
}

void CaptureScript::add(CaptureStep step) {
    std::lock_guard<std::mutex> guard(lock);
    steps.push_back(std::move(step));
}

FakeCaptureClient::FakeCaptureClient(std::shared_ptr<CaptureScript> script)
    : FakeCom("captureClient"), script(std::move(script)) {}

HRESULT STDMETHODCALLTYPE FakeCaptureClient::GetNextPacketSize(UINT32* frames) {
    std::lock_guard<std::mutex> guard(script->lock);
    ++script->sizeCalls;
    script->sizeCallTicks.push_back(GetTickCount());
    if (script->steps.empty()) {
        *frames = 0;
        return S_OK;
    }
    CaptureStep& step = script->steps.front();
    switch (step.kind) {
    case CaptureStep::Kind::sizeFails:
        script->steps.pop_front();
        script->failureTicks.push_back(GetTickCount());
        script->failureSizeCalls.push_back(script->sizeCalls);
        *frames = 12345;  // garbage a careless caller would act on
        return AUDCLNT_E_DEVICE_INVALIDATED;
    case CaptureStep::Kind::bufferFails:
        *frames = step.reportedFrames;
        return S_OK;
    case CaptureStep::Kind::packet:
        // A zero-frame packet is reported as 0 like "nothing waiting", so
        // the worker only meets one through GetBuffer; report it as 1 here.
        *frames = step.samples.empty() ? 1 : static_cast<UINT32>(step.samples.size() / 2);
        return S_OK;
    }
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE FakeCaptureClient::GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64*, UINT64*) {
    std::lock_guard<std::mutex> guard(script->lock);
    if (script->steps.empty() || script->bufferOutstanding) {
        return AUDCLNT_E_OUT_OF_ORDER;
    }
    CaptureStep step = std::move(script->steps.front());
    script->steps.pop_front();
    if (step.kind != CaptureStep::Kind::packet) {
        script->failureTicks.push_back(GetTickCount());
        script->failureSizeCalls.push_back(script->sizeCalls);
        return AUDCLNT_E_BUFFER_ERROR;
    }
    current = std::move(step);
    *data = current.samples.empty() ? nullptr : reinterpret_cast<BYTE*>(current.samples.data());
    *frames = static_cast<UINT32>(current.samples.size() / 2);
    *flags = current.flags;
    script->bufferOutstanding = true;
    // As the engine does: an empty packet is a success code, not S_OK.
    return current.samples.empty() ? AUDCLNT_S_BUFFER_EMPTY : S_OK;
}

HRESULT STDMETHODCALLTYPE FakeCaptureClient::ReleaseBuffer(UINT32 framesRead) {
    std::lock_guard<std::mutex> guard(script->lock);
    if (!script->bufferOutstanding) {
        ++script->releasesWithoutBuffer;
        return AUDCLNT_E_OUT_OF_ORDER;
    }
    script->bufferOutstanding = false;
    script->releasedFrames.push_back(framesRead);
    current = CaptureStep{};
    return S_OK;
}
