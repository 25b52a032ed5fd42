// The device side of the fake: MMDeviceEnumerator, two active render
// endpoints (the second unplugged while faults.secondEndpointOff says so),
// and on each the sessions of the published slots that have one there (plus,
// when faults.selfSession asks, an active session of the calling process on
// the first), each with its slot's display name and icon path. An
// endpoint's session list holds the values its slots had when it was asked
// for; an endpoint list, the endpoints active when it was asked for.
//
// Listeners, as Windows tells them: a session manager's
// IAudioSessionNotification hears of each session published on its
// endpoint after it was registered, but only once GetCount has been called
// on that manager's session enumerator (earlier ones are dropped), and only
// when it was registered from the multithreaded apartment. The session it
// is handed is the fake's: a listener that releases it without an AddRef
// counts as misuse. An enumerator's IMMNotificationClient hears of the
// second endpoint's state changes. All calls come on the fake's service
// thread; a listener that unregisters from within one (which would hang on
// Windows), or a manager or enumerator released with a listener still
// registered, counts as misuse.
//
// Objects that the program only ever uses one after another are one object
// with several interfaces: the class factory, enumerator and endpoint
// collection; an endpoint, its session manager and its session list.
//
// Threads: any; the objects change nothing after they are made, but for an
// endpoint's session list, which the program asks for once, and its count.
// listenerLock guards the registrations; no call to a listener is made
// while it is held.

#include "Runtime.h"

#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

namespace fakeplatform {
namespace {

constexpr UINT endpointCount = 2;

struct Registration {
    const IUnknown* owner;  // the manager or enumerator it was made with
    IUnknown* listener;     // one reference, the fake's
    int endpoint;           // a manager's endpoint; -1 for an endpoint listener
    bool deaf;              // not made from the multithreaded apartment
    const volatile bool* counted;  // a manager's: GetCount was called
};
std::mutex listenerLock;
std::vector<Registration> registrations;
thread_local bool inListener = false;  // the service thread is calling a listener

UINT activeEndpoints() { return faults().secondEndpointOff ? 1 : endpointCount; }

HRESULT addRegistration(Registration made) {
    if (!made.listener) return MISUSE;
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    made.deaf = FAILED(CoGetApartmentType(&type, &qualifier)) || type != APTTYPE_MTA;
    if (!startService()) return E_OUTOFMEMORY;
    made.listener->AddRef();
    const std::lock_guard<std::mutex> held(listenerLock);
    registrations.push_back(made);
    bump(counts().registrations);
    return S_OK;
}

// Takes out `owner`'s registration of `listener`, or (null) all of its
// registrations, and releases their listeners: how many there were.
std::size_t dropRegistrations(const IUnknown* owner, const IUnknown* listener) {
    std::vector<IUnknown*> dropped;
    {
        const std::lock_guard<std::mutex> held(listenerLock);
        std::erase_if(registrations, [&](const Registration& made) {
            const bool drop = made.owner == owner && (!listener || (made.listener == listener && dropped.empty()));
            if (drop) dropped.push_back(made.listener);
            return drop;
        });
    }
    for (IUnknown* gone : dropped) {
        bump(counts().registrations, -1);
        gone->Release();
    }
    return dropped.size();
}

HRESULT dropRegistration(const IUnknown* owner, const IUnknown* listener) {
    if (inListener) return MISUSE;
    return dropRegistrations(owner, listener) > 0 ? S_OK : MISUSE;
}

// Released with listeners still registered: misuse, and they are dropped.
void ownerGone(const IUnknown* owner) {
    for (std::size_t left = dropRegistrations(owner, nullptr); left > 0; --left) MISUSE;
}

// The listeners to tell of a change: a new session on `endpoint`, or (-1) an
// endpoint's. Each with a reference of its own.
std::vector<IUnknown*> listenersFor(int endpoint) {
    std::vector<IUnknown*> chosen;
    const std::lock_guard<std::mutex> held(listenerLock);
    for (const Registration& made : registrations) {
        const bool hears = endpoint < 0 ? made.endpoint < 0 : made.endpoint == endpoint && !made.deaf && *made.counted;
        if (hears) {
            made.listener->AddRef();
            chosen.push_back(made.listener);
        }
    }
    return chosen;
}

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
        return out ? SHStrDupW(text, out) : MISUSE;
    }

    const fake::Slot values;
};

class Endpoint final : public ComObject<IMMDevice, IAudioSessionManager2, IAudioSessionEnumerator> {
public:
    explicit Endpoint(UINT index) : index(index) {}
    HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification* listener) override {
        return addRegistration({static_cast<IMMDevice*>(this), listener, static_cast<int>(index), false, &counted});
    }
    HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification* listener) override {
        return dropRegistration(static_cast<IMMDevice*>(this), listener);
    }
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
            sessions[count++] = fake::Slot{self, fake::active, S_FALSE, S_OK, 1, 0, 0, 0, 0, 0, 0};
        }
        return handOut(out);
    }
    HRESULT STDMETHODCALLTYPE GetCount(int* sessionCount) override {
        if (!sessionCount) return MISUSE;
        *sessionCount = count;
        counted = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSession(int at, IAudioSessionControl** out) override {
        return out && at >= 0 && at < count ? (*out = new Control(sessions[at]), S_OK) : MISUSE;
    }
    UNUSED(OpenPropertyStore, DWORD, IPropertyStore**) UNUSED(GetId, LPWSTR*) UNUSED(GetState, DWORD*)
    UNUSED(GetAudioSessionControl, LPCGUID, DWORD, IAudioSessionControl**)
    UNUSED(GetSimpleAudioVolume, LPCGUID, DWORD, ISimpleAudioVolume**)
    UNUSED(RegisterDuckNotification, LPCWSTR, IAudioVolumeDuckNotification*)
    UNUSED(UnregisterDuckNotification, IAudioVolumeDuckNotification*)

private:
    void lastReleased() override {
        ownerGone(static_cast<IMMDevice*>(this));
        delete this;
    }

    const UINT index;
    volatile bool counted = false;
    fake::Slot sessions[fake::slotCount + 1];
    int count = 0;
};

class Enumerator final : public ComObject<IClassFactory, IMMDeviceEnumerator, IMMDeviceCollection> {
public:
    // A new one handed out as `iid`, as the class factory makes them.
    static HRESULT make(REFIID iid, void** out) {
        auto* made = new Enumerator;
        const HRESULT answer = made->QueryInterface(iid, out);
        made->Release();
        return answer;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return outer || !out ? MISUSE : make(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD states, IMMDeviceCollection** out) override {
        if (flow != eRender || states != DEVICE_STATE_ACTIVE || !out) return MISUSE;
        const LONG scan = bump(counts().scans);
        if (scan <= static_cast<LONG>(std::size(counts().scanTimes))) counts().scanTimes[scan - 1] = fake::counterMs();
        listed = activeEndpoints();
        return handOut(out);
    }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override { return count ? (*count = listed, S_OK) : MISUSE; }
    HRESULT STDMETHODCALLTYPE Item(UINT at, IMMDevice** out) override {
        return out && at < listed ? (*out = new Endpoint(at), S_OK) : MISUSE;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* listener) override {
        return addRegistration({static_cast<IClassFactory*>(this), listener, -1, false, nullptr});
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* listener) override {
        return dropRegistration(static_cast<IClassFactory*>(this), listener);
    }
    UNUSED(GetDefaultAudioEndpoint, EDataFlow, ERole, IMMDevice**) UNUSED(GetDevice, LPCWSTR, IMMDevice**)

private:
    void lastReleased() override {
        ownerGone(static_cast<IClassFactory*>(this));
        delete this;
    }

    UINT listed = 0;  // the endpoint list's length
};

}  // namespace

void tellListeners() {
    // What was told last: each slot's pid, the second endpoint's state.
    static LONG seen[fake::slotCount], secondOff = faults().secondEndpointOff;
    static bool first = true;  // only the service thread calls this
    if (std::exchange(first, false)) {
        for (int i = 0; i < fake::slotCount; ++i) seen[i] = record().slots[i].pid;
    }
    const auto tell = [](int endpoint, const auto& call) {
        for (IUnknown* listener : listenersFor(endpoint)) {
            inListener = true;
            call(listener);
            inListener = false;
            listener->Release();
        }
    };
    for (int i = 0; i < fake::slotCount; ++i) {
        const fake::Slot& slot = record().slots[i];
        const LONG pid = slot.pid;
        if (pid == seen[i]) continue;
        seen[i] = pid;
        if (pid <= 0) continue;
        const fake::Slot values = slot;
        for (int endpoint = 0; endpoint < static_cast<int>(endpointCount); ++endpoint) {
            if (!(values.endpoints & (1 << endpoint))) continue;
            tell(endpoint, [&values](IUnknown* listener) {
                auto* session = new Control(values);
                session->AddRef();  // the fake's own, beside the one it hands over
                static_cast<IAudioSessionNotification*>(listener)->OnSessionCreated(session);
                if (session->Release() == 0) MISUSE;  // released without an AddRef
                else session->Release();
            });
        }
    }
    const LONG off = faults().secondEndpointOff;
    if (off != secondOff) {
        secondOff = off;
        tell(-1, [off](IUnknown* listener) {
            static_cast<IMMNotificationClient*>(listener)->OnDeviceStateChanged(
                L"{0.0.0.00000000}.{fake-endpoint-2}", off ? DEVICE_STATE_UNPLUGGED : DEVICE_STATE_ACTIVE);
        });
    }
}

}  // namespace fakeplatform

// Never unloaded: threads of the fake run its code until the process ends.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid != __uuidof(MMDeviceEnumerator)) return CLASS_E_CLASSNOTAVAILABLE;
    return fakeplatform::Enumerator::make(iid, out);
}
