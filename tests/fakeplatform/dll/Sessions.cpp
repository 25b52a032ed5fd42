// The device side of the fake: MMDeviceEnumerator, two active render
// endpoints, and on each the sessions of the published slots that have one
// there (plus, when faults.selfSession asks, an active session of the calling
// process on the first), each with its slot's display name and icon path. An
// endpoint's session list holds the values its slots had when it was asked
// for.
//
// Objects that the program only ever uses one after another are one object
// with several interfaces: the class factory, enumerator and endpoint
// collection; an endpoint, its session manager and its session list.
//
// Threads: any; the objects change nothing after they are made, but for an
// endpoint's session list, which the program asks for once.

#include "Runtime.h"

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace fakeplatform {
namespace {

constexpr UINT endpointCount = 2;

class Control final : public ComObject<IAudioSessionControl2> {
public:
    explicit Control(const fake::Slot& values) : values(values) {}
    HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* state) override {
        return state ? (*state = static_cast<AudioSessionState>(values.state), S_OK) : MISUSE;
    }
    HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override { return values.systemSounds; }
    HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* pid) override {
        // The pid is written even when the call reports a failure.
        return pid ? (*pid = static_cast<DWORD>(values.pid), values.pidResult) : MISUSE;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* text) override { return copyOut(values.displayName, text); }
    HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR* text) override { return copyOut(values.iconPath, text); }
    UNUSED(SetDisplayName, LPCWSTR, LPCGUID)
    UNUSED(SetIconPath, LPCWSTR, LPCGUID) UNUSED(GetGroupingParam, GUID*) UNUSED(SetGroupingParam, LPCGUID, LPCGUID)
    UNUSED(RegisterAudioSessionNotification, IAudioSessionEvents*)
    UNUSED(UnregisterAudioSessionNotification, IAudioSessionEvents*)
    UNUSED(GetSessionIdentifier, LPWSTR*) UNUSED(GetSessionInstanceIdentifier, LPWSTR*)
    UNUSED(SetDuckingPreference, BOOL)

private:
    // A copy that the caller frees with CoTaskMemFree, as Windows hands out
    // a session's texts; an empty one when none was set.
    static HRESULT copyOut(const wchar_t (&text)[fake::textLength], LPWSTR* out) {
        if (!out) return MISUSE;
        const std::size_t length = wcsnlen(text, fake::textLength - 1);
        auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
        if (!copy) return E_OUTOFMEMORY;
        std::copy(text, text + length, copy);
        copy[length] = L'\0';
        *out = copy;
        return S_OK;
    }

    const fake::Slot values;
};

class Endpoint final : public ComObject<IMMDevice, IAudioSessionManager2, IAudioSessionEnumerator> {
public:
    explicit Endpoint(UINT index) : index(index) {}
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* params, void** out) override {
        if (iid != __uuidof(IAudioSessionManager2) || context != CLSCTX_ALL || params || !out) return MISUSE;
        return handOut(reinterpret_cast<IAudioSessionManager2**>(out));
    }
    HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** out) override {
        if (!out || count > 0) return MISUSE;
        for (const fake::Slot& slot : record().slots) {
            if (slot.pid > 0 && (slot.endpoints & (1 << index))) {
                sessions[count++] = slot;
            }
        }
        if (index == 0 && faults().selfSession) {
            const auto self = static_cast<LONG>(GetCurrentProcessId());
            sessions[count++] = fake::Slot{self, fake::active, S_FALSE, S_OK, 1, 0, 0, 0, 0};
        }
        return handOut(out);
    }
    HRESULT STDMETHODCALLTYPE GetCount(int* sessionCount) override {
        return sessionCount ? (*sessionCount = count, S_OK) : MISUSE;
    }
    HRESULT STDMETHODCALLTYPE GetSession(int at, IAudioSessionControl** out) override {
        return out && at >= 0 && at < count ? (*out = new Control(sessions[at]), S_OK) : MISUSE;
    }
    UNUSED(OpenPropertyStore, DWORD, IPropertyStore**) UNUSED(GetId, LPWSTR*) UNUSED(GetState, DWORD*)
    UNUSED(GetAudioSessionControl, LPCGUID, DWORD, IAudioSessionControl**)
    UNUSED(GetSimpleAudioVolume, LPCGUID, DWORD, ISimpleAudioVolume**)
    UNUSED(RegisterSessionNotification, IAudioSessionNotification*)
    UNUSED(UnregisterSessionNotification, IAudioSessionNotification*)
    UNUSED(RegisterDuckNotification, LPCWSTR, IAudioVolumeDuckNotification*)
    UNUSED(UnregisterDuckNotification, IAudioVolumeDuckNotification*)

private:
    const UINT index;
    fake::Slot sessions[fake::slotCount + 1];
    int count = 0;
};

class Enumerator final : public ComObject<IClassFactory, IMMDeviceEnumerator, IMMDeviceCollection> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer || !out) return MISUSE;
        auto* made = new Enumerator;
        const HRESULT answer = made->QueryInterface(iid, out);
        made->Release();
        return answer;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD states, IMMDeviceCollection** out) override {
        if (flow != eRender || states != DEVICE_STATE_ACTIVE || !out) return MISUSE;
        const LONG scan = bump(counts().scans);
        if (scan <= static_cast<LONG>(std::size(counts().scanTimes))) {
            LARGE_INTEGER now{}, frequency{};
            QueryPerformanceCounter(&now);
            QueryPerformanceFrequency(&frequency);
            counts().scanTimes[scan - 1] = static_cast<LONG>(now.QuadPart * 1000 / frequency.QuadPart);
        }
        return handOut(out);
    }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override { return count ? (*count = endpointCount, S_OK) : MISUSE; }
    HRESULT STDMETHODCALLTYPE Item(UINT at, IMMDevice** out) override {
        return out && at < endpointCount ? (*out = new Endpoint(at), S_OK) : MISUSE;
    }
    UNUSED(GetDefaultAudioEndpoint, EDataFlow, ERole, IMMDevice**) UNUSED(GetDevice, LPCWSTR, IMMDevice**)
    UNUSED(RegisterEndpointNotificationCallback, IMMNotificationClient*)
    UNUSED(UnregisterEndpointNotificationCallback, IMMNotificationClient*)
};

}  // namespace
}  // namespace fakeplatform

// Never unloaded: threads of the fake run its code until the process ends.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid != __uuidof(MMDeviceEnumerator)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new fakeplatform::Enumerator;
    const HRESULT answer = factory->QueryInterface(iid, out);
    factory->Release();
    return answer;
}
