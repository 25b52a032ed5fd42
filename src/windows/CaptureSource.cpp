#include "windows/CaptureSource.h"

#include "capture/PacketConversion.h"

namespace {

// Bounds how long a stop waits for a worker whose event never comes, and how
// often a source whose client reports nothing is polled.
constexpr DWORD captureWaitMilliseconds = 100;

}  // namespace

bool clientDied(HRESULT result) {
    return result == AUDCLNT_E_DEVICE_INVALIDATED || result == AUDCLNT_E_SERVICE_NOT_RUNNING ||
           result == AUDCLNT_E_RESOURCES_INVALIDATED;
}

void CaptureSource::captureLoop() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // Any other failure may pass (a glitch of the engine): it is tried again
    // after the next wait. A dead client fails for good, and polling it on
    // would only keep the source silent. Returns whether the client died.
    const auto noteFailure = [this](HRESULT result) {
        const bool died = clientDied(result);
        if (died) {
            deviceLost.store(true);
        }
        return died;
    };
    while (running && !deviceLost) {
        // Signalled, timed out or failed: the drain below runs in every case,
        // so a missed signal costs at most one wait.
        WaitForSingleObject(captureEvent.get(), captureWaitMilliseconds);
        while (running) {
            UINT32 packetFrames = 0;
            HRESULT result = captureClient->GetNextPacketSize(&packetFrames);
            if (result < 0 || packetFrames == 0) {
                noteFailure(result);
                break;
            }
            BYTE* data = nullptr;
            UINT32 frames = 0;
            DWORD flags = 0;
            result = captureClient->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
            if (result < 0) {
                noteFailure(result);
                break;
            }
            {
                // Only the conversion happens under the lock: the mixer waits
                // for one packet at most, never for an audio-interface call.
                std::lock_guard<std::mutex> guard(lock);
                appendPacket(fifo, data, frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0);
            }
            if (noteFailure(captureClient->ReleaseBuffer(frames))) {
                break;
            }
        }
    }
    // Its replacement opens at the scan this brings, not at the next period.
    if (deviceLost && wakeOnEnd != nullptr) {
        wakeOnEnd->wake();
    }
    CoUninitialize();
}

void CaptureSource::stop() {
    running.exchange(false);
    // The worker uses both clients and the event without a lock, so it must
    // be gone before any of them is touched.
    if (worker.joinable()) {
        worker.join();
    }
    if (audioClient) {
        audioClient->Stop();
    }
    // The capture client is a service of the audio client: release it first.
    // The event goes last, once the client that signals it is released.
    captureClient.reset();
    audioClient.reset();
    captureEvent.reset();
}
