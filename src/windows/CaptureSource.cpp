#include "windows/CaptureSource.h"

#include "capture/PacketConversion.h"

namespace {

// Bounds how long a stop waits for a worker whose event never comes, and how
// often a source whose client reports nothing is polled.
constexpr DWORD captureWaitMilliseconds = 100;

}  // namespace

void CaptureSource::captureLoop() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (running) {
        // Signalled, timed out or failed: the drain below runs in every case,
        // so a missed signal costs at most one wait.
        WaitForSingleObject(captureEvent.get(), captureWaitMilliseconds);
        while (running) {
            UINT32 packetFrames = 0;
            if (captureClient->GetNextPacketSize(&packetFrames) < 0 || packetFrames == 0) {
                break;
            }
            BYTE* data = nullptr;
            UINT32 frames = 0;
            DWORD flags = 0;
            if (captureClient->GetBuffer(&data, &frames, &flags, nullptr, nullptr) < 0) {
                break;
            }
            {
                // Only the conversion happens under the lock: the mixer waits
                // for one packet at most, never for an audio-interface call.
                std::lock_guard<std::mutex> guard(lock);
                appendPacket(fifo, data, frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0);
            }
            captureClient->ReleaseBuffer(frames);
        }
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
