// Helpers of the fake platform's own tests.

#include "FakeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace faketest {
namespace {

// Set before the fake is first used, which is during the first test.
struct NamespaceSetup {
    fake::ControlView view;
    NamespaceSetup() {
        const std::wstring ns = L"fakeplatform-test-" + std::to_wstring(GetCurrentProcessId());
        SetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", ns.c_str());
        view.open(ns);
    }
};

class Handler final : public IActivateAudioInterfaceCompletionHandler, public IAgileObject {
public:
    explicit Handler(bool agileAnswer) : agile(agileAnswer) {}
    ~Handler() { CloseHandle(done); }
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG references = 1;
    volatile DWORD thread = 0;
    const bool agile;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IActivateAudioInterfaceCompletionHandler)) {
            *out = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
        } else if (agile && riid == __uuidof(IAgileObject)) {
            *out = static_cast<IAgileObject*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    // Never deleted by its count: the test reads the count afterwards.
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references); }
    HRESULT STDMETHODCALLTYPE ActivateCompleted(IActivateAudioInterfaceAsyncOperation*) override {
        thread = GetCurrentThreadId();
        SetEvent(done);
        return S_OK;
    }
};

}  // namespace

fake::ControlRecord& record() {
    static NamespaceSetup setup;
    return *setup.view.get();
}

std::wstring playerPath() {
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(L"VINTRA_PLAYER", buffer, 1024);
    return player::windowsPath(n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring(L"player.exe"));
}

Activation activate(DWORD pid, DWORD waitMs, const Request& request) {
    record();  // the namespace must be set before the fake opens its record
    Activation result;
    DWORD params[3] = {request.type, pid, request.mode};
    PROPVARIANT variant{};
    variant.vt = VT_BLOB;
    variant.blob.cbSize = request.blobSize;
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(params);
    // Kept alive past the wait: a late completion may still use it.
    auto* handler = new Handler(request.agileHandler);
    IActivateAudioInterfaceAsyncOperation* operation = nullptr;
    result.callResult = ActivateAudioInterfaceAsync(request.path, request.iid, &variant,
                                                    static_cast<IActivateAudioInterfaceCompletionHandler*>(handler),
                                                    &operation);
    if (SUCCEEDED(result.callResult)) {
        result.completed = WaitForSingleObject(handler->done, waitMs) == WAIT_OBJECT_0;
        result.completionThread = handler->thread;
        if (result.completed) {
            IUnknown* activated = nullptr;
            result.getResult = operation->GetActivateResult(&result.activateResult, &activated);
            if (activated) {
                activated->QueryInterface(__uuidof(IAudioClient), reinterpret_cast<void**>(&result.client));
                activated->Release();
            }
        }
    }
    if (operation) operation->Release();
    if (result.completed || FAILED(result.callResult)) {
        // The platform drops its reference just after ActivateCompleted
        // returns, so give it a moment.
        for (int i = 0; i < 200 && handler->references > 1; ++i) Sleep(5);
        result.handlerReferencesAfter = handler->references;
        if (result.handlerReferencesAfter == 1) delete handler;
    }
    return result;
}

HRESULT initializeAsProgram(IAudioClient* client) {
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    return client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0x80060000, 200000, 0, &format, nullptr);
}

bool Stream::open(IAudioClient* activated) {
    client = activated;
    if (!client || FAILED(initializeAsProgram(client))) return false;
    event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (FAILED(client->SetEventHandle(event))) return false;
    if (FAILED(client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture)))) return false;
    return SUCCEEDED(client->Start());
}

void Stream::close() {
    if (client) client->Stop();
    if (capture) capture->Release();
    if (client) client->Release();
    if (event) CloseHandle(event);
    capture = nullptr;
    client = nullptr;
    event = nullptr;
}

Capture captureFor(Stream& stream, double seconds) {
    Capture capture;
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (;;) {
        QueryPerformanceCounter(&now);
        capture.seconds = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (capture.seconds >= seconds) break;
        WaitForSingleObject(stream.event, 100);
        UINT32 next = 0;
        while (SUCCEEDED(stream.capture->GetNextPacketSize(&next)) && next > 0) {
            BYTE* data = nullptr;
            UINT32 frames = 0;
            DWORD flags = 0;
            if (stream.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr) != S_OK) break;
            const auto* values = reinterpret_cast<const std::int16_t*>(data);
            capture.samples.insert(capture.samples.end(), values, values + 2 * frames);
            ++capture.packets;
            if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
                ++capture.silentPackets;
                for (UINT32 i = 0; i < 2 * frames; ++i) {
                    if (values[i] != 0) {
                        ++capture.nonZeroSilentPackets;
                        break;
                    }
                }
            }
            stream.capture->ReleaseBuffer(frames);
        }
    }
    return capture;
}

double toneAmplitude(const std::vector<std::int16_t>& samples, int channel, double frequency) {
    const std::size_t frames = samples.size() / 2;
    if (frames == 0) return 0;
    const double coefficient = 2 * std::cos(2 * 3.14159265358979323846 * frequency / 48000.0);
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double s = samples[2 * i + channel] / 32768.0 + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2 * std::sqrt(power) / double(frames);
}

int peak(const std::vector<std::int16_t>& samples, int channel) {
    int top = 0;
    for (std::size_t i = channel; i < samples.size(); i += 2) top = std::max(top, std::abs(int(samples[i])));
    return top;
}

StartedPlayer::StartedPlayer(const std::wstring& arguments) {
    record();
    EXPECT_TRUE(process.start(playerPath(), arguments)) << "player did not start";
}

}  // namespace faketest
