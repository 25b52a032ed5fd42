#include "windows/OpenCaptureSource.h"

#include "windows/ActivateProcessLoopback.h"

std::unique_ptr<CaptureSource> openCaptureSource(std::uint32_t processId, RescanWake* wakeOnEnd) {
    // The local owner: every return without the source, and every exception,
    // destroys it, which stops it and releases whatever was obtained so far.
    auto source = std::make_unique<CaptureSource>(processId);

    source->audioClient = ComPtr<IAudioClient>(ActivateProcessLoopback(processId, nullptr));
    if (!source->audioClient) {
        return nullptr;
    }
    IAudioClient* client = source->audioClient.get();

    WAVEFORMATEX format = captureFormat;
    if (client->Initialize(AUDCLNT_SHAREMODE_SHARED, captureStreamFlags, captureBufferDuration, 0, &format,
                           nullptr) < 0) {
        return nullptr;
    }
    // Not tested here: SetEventHandle refuses a null handle.
    source->captureEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (client->SetEventHandle(source->captureEvent.get()) < 0) {
        return nullptr;
    }
    if (client->GetService(__uuidof(IAudioCaptureClient), source->captureClient.putVoid()) < 0) {
        return nullptr;
    }
    if (client->Start() < 0) {
        return nullptr;
    }

    // Before the worker exists, so that its first test of `running` holds.
    source->wakeOnEnd = wakeOnEnd;
    source->running.store(true);
    source->worker = std::thread(&CaptureSource::captureLoop, source.get());
    return source;
}
