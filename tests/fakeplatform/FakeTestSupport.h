#pragma once
// Helpers of the fake platform's own tests: the test process's control
// record, a blocking activation with a handler of its own, a started capture
// stream and tone analysis.
//
// The test program uses the fake in-process (it is started with
// WINEDLLOVERRIDES=mmdevapi=n), under a namespace of its own that is set
// before the fake is first used. Tests run one after another and compare
// accounting before and after, since the counters are process-wide.
//
// Threads: the test thread, except where a comment says otherwise.

#include "FakeControl.h"
#include "PlayerProcess.h"

#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace faketest {

fake::ControlRecord& record();

// player.exe, from the VINTRA_PLAYER variable that CTest sets.
std::wstring playerPath();

struct Activation {
    HRESULT callResult = E_FAIL;        // what ActivateAudioInterfaceAsync returned
    bool completed = false;             // the handler was called within the wait
    DWORD completionThread = 0;         // the thread that called it
    HRESULT getResult = E_FAIL;         // GetActivateResult's own return value
    HRESULT activateResult = E_FAIL;    // the activation's result
    IAudioClient* client = nullptr;     // one reference, or null
    long handlerReferencesAfter = -1;   // the handler's count once everything is released
};

// Activates a process-loopback client for `pid`, waiting up to `waitMs` for
// the completion. `params` may replace the well-formed request's fields.
struct Request {
    const wchar_t* path = L"VAD\\Process_Loopback";
    IID iid = __uuidof(IAudioClient);
    DWORD type = 1;
    DWORD mode = 0;
    ULONG blobSize = 12;
    bool agileHandler = true;
};
Activation activate(DWORD pid, DWORD waitMs = 5000, const Request& request = Request{});

// Initialize with exactly the stream the program requests.
HRESULT initializeAsProgram(IAudioClient* client);

// A client initialised, with its event registered, capture client obtained
// and started. Release order: capture client, audio client, then the event.
struct Stream {
    IAudioClient* client = nullptr;
    IAudioCaptureClient* capture = nullptr;
    HANDLE event = nullptr;
    bool open(IAudioClient* activated);  // takes over the reference
    void close();
    ~Stream() { close(); }
};

struct Capture {
    std::vector<std::int16_t> samples;  // interleaved, silent packets included as read
    int packets = 0;
    int silentPackets = 0;
    int nonZeroSilentPackets = 0;       // silent packets whose buffer was not all zero
    double seconds = 0;                 // performance-counter time spent reading
};

// Drains the stream for `seconds`, waiting on its event as a capture worker
// does.
Capture captureFor(Stream& stream, double seconds);

// Amplitude of `frequency` in one channel (0 left, 1 right), as a share of
// full scale: the Goertzel magnitude scaled so that a sine of peak p/32768
// gives about p/32768.
double toneAmplitude(const std::vector<std::int16_t>& samples, int channel, double frequency);
int peak(const std::vector<std::int16_t>& samples, int channel);

// A started player; fails the calling test when it does not start.
struct StartedPlayer {
    player::PlayerProcess process;
    explicit StartedPlayer(const std::wstring& arguments);
    DWORD pid() const { return process.processId(); }
};

}  // namespace faketest
