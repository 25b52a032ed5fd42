#pragma once
// A fake IAudioCaptureClient that plays a script of packets and failures to
// the capture worker, and records what the worker did with them.
//
// Threads: the worker calls the interface, the test edits the script and
// reads the record; CaptureScript::lock guards every field of the script.

#include "fakes/FakeCom.h"
#include "windows/CoreAudio.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

struct CaptureStep {
    enum class Kind { packet, sizeFails, bufferFails };
    Kind kind = Kind::packet;
    std::vector<std::int16_t> samples;  // interleaved; frames = size / 2
    DWORD flags = 0;
    // For bufferFails: the packet size GetNextPacketSize reports first.
    UINT32 reportedFrames = 0;

    static CaptureStep packet(std::vector<std::int16_t> samples, DWORD flags = 0);
    static CaptureStep sizeFails();
    static CaptureStep bufferFails(UINT32 reportedFrames);
};

struct CaptureScript {
    std::mutex lock;
    std::deque<CaptureStep> steps;       // played front first; empty = no packet
    std::vector<UINT32> releasedFrames;  // every ReleaseBuffer argument
    int sizeCalls = 0;                   // GetNextPacketSize calls
    std::vector<DWORD> failureTicks;     // GetTickCount of each scripted failure
    std::vector<int> failureSizeCalls;   // sizeCalls when each failure happened
    std::vector<DWORD> sizeCallTicks;    // GetTickCount of each GetNextPacketSize
    bool bufferOutstanding = false;      // GetBuffer without ReleaseBuffer yet
    int releasesWithoutBuffer = 0;       // ReleaseBuffer with nothing outstanding

    void add(CaptureStep step);
};

class FakeCaptureClient final : public FakeCom<IAudioCaptureClient> {
public:
    explicit FakeCaptureClient(std::shared_ptr<CaptureScript> script);

    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* devicePosition,
                                        UINT64* counterPosition) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 framesRead) override;
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override;

private:
    std::shared_ptr<CaptureScript> script;
    CaptureStep current;  // the packet handed out by GetBuffer, alive until released
};
