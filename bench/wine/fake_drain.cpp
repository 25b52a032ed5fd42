// bench-fake-drain.exe <pid>...: the fake audio platform's own work, measured
// apart from the program. It loads the fake mmdevapi.dll as the program does
// (the same activation routine, the same stream format), starts one
// process-loopback client per pid and drains each on a thread of its own in
// the program's way (event wait of at most 100 ms, then GetBuffer and
// ReleaseBuffer while packets are ready), but converts, mixes and writes
// nothing. Its CPU time is thus the fake's packet generation and delivery
// plus the waits and calls every capture client costs under Wine.
//
// Writes "ready\n" to standard error once every client runs (or has failed:
// the number that run follows as "clients <n>\n") and ends at the end of
// standard input.

#include "windows/ActivateProcessLoopback.h"
#include "windows/OpenCaptureSource.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <thread>

namespace {

void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// Activates, initialises and starts a client for `pid`; its capture client
// is drained for the rest of the process's life.
bool startDraining(DWORD pid) {
    IAudioClient* client = ActivateProcessLoopback(pid, nullptr);
    if (!client) return false;
    WAVEFORMATEX format = captureFormat;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    IAudioCaptureClient* capture = nullptr;
    if (client->Initialize(AUDCLNT_SHAREMODE_SHARED, captureStreamFlags, captureBufferDuration, 0, &format, nullptr) <
            0 ||
        client->SetEventHandle(event) < 0 ||
        client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture)) < 0 ||
        client->Start() < 0) {
        if (capture) capture->Release();
        client->Release();
        CloseHandle(event);
        return false;
    }
    // Kept until the process ends: the measure is of the steady drain.
    std::thread([event, capture] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (;;) {
            WaitForSingleObject(event, 100);
            UINT32 frames = 0;
            while (capture->GetNextPacketSize(&frames) >= 0 && frames > 0) {
                BYTE* data = nullptr;
                DWORD flags = 0;
                if (capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr) < 0) break;
                capture->ReleaseBuffer(frames);
            }
        }
    }).detach();
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int running = 0;
    for (int i = 1; i < argc; ++i) {
        running += startDraining(static_cast<DWORD>(std::wcstoul(argv[i], nullptr, 10))) ? 1 : 0;
    }
    char line[64];
    std::snprintf(line, sizeof line, "ready\nclients %d\n", running);
    say(line);
    char discarded[256];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), discarded, sizeof discarded, &got, nullptr) && got > 0) {
    }
    ExitProcess(0);
}
