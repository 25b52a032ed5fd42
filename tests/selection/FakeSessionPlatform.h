#pragma once
// Fake Core Audio objects for the session walk: a device enumerator, an
// endpoint collection, devices, session managers, session enumerators and
// sessions, each a real COM object whose calls can be made to fail.
//
// Reference accounting: the test owns every object (FakeWorld keeps them)
// and holds one reference to each; Release never deletes. Every Release is
// appended to the world's log by object name, so a test can check that each
// reference handed out came back exactly once and in which order. A failing
// call writes a "stray" object into its out-parameter, which the code under
// test must not release, since a failed call hands over no reference.
//
// Threads: one test thread.

#include "windows/CoreAudio.h"

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct FakeWorld;

// What the world needs of every fake, whatever its interface.
struct FakeBase {
    FakeBase(FakeWorld& world, std::string name) : world(world), name(std::move(name)) {}
    virtual ~FakeBase() = default;

    FakeWorld& world;
    const std::string name;
    long references = 1;  // the test's own
    bool overReleased = false;
};

template <class Interface>
class FakeCom : public Interface, public FakeBase {
public:
    using FakeBase::FakeBase;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override;
};

// One session, configurable call by call. GetSession hands out the session
// itself; its QueryInterface for IAudioSessionControl2 hands out `second`, a
// separate object, so that the two releases can be told apart.
class FakeSessionControl : public FakeCom<IAudioSessionControl2> {
public:
    using FakeCom::FakeCom;

    HRESULT queryResult = S_OK;  // of the QueryInterface for IAudioSessionControl2
    HRESULT stateResult = S_OK;
    bool stateWritten = true;    // whether a GetState writes `state`
    AudioSessionState state = AudioSessionStateActive;
    HRESULT systemSounds = S_FALSE;
    HRESULT processIdResult = S_OK;
    DWORD processId = 0;
    FakeSessionControl* second = nullptr;  // null on the second object itself

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

    HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* value) override {
        const FakeSessionControl& given = settings();
        if (given.stateWritten) {
            *value = given.state;
        }
        return given.stateResult;
    }
    HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* value) override {
        const FakeSessionControl& given = settings();
        if (SUCCEEDED(given.processIdResult)) {
            *value = given.processId;
        }
        return given.processIdResult;
    }
    HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override { return settings().systemSounds; }

    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDuckingPreference(WINBOOL) override { return E_NOTIMPL; }

    // Both objects answer from the first one's settings.
    FakeSessionControl* first = this;

private:
    FakeSessionControl& settings() { return *first; }
};

class FakeSessionEnumerator : public FakeCom<IAudioSessionEnumerator> {
public:
    using FakeCom::FakeCom;
    std::vector<FakeSessionControl*> sessions;
    std::set<int> failingIndices;  // GetSession fails for these
    HRESULT countResult = S_OK;
    bool countWritten = true;
    std::optional<int> countOverride;  // reported instead of sessions.size()

    HRESULT STDMETHODCALLTYPE GetCount(int* count) override {
        if (countWritten) {
            *count = countOverride.value_or(static_cast<int>(sessions.size()));
        }
        return countResult;
    }
    HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** out) override;
};

class FakeSessionManager : public FakeCom<IAudioSessionManager2> {
public:
    using FakeCom::FakeCom;
    FakeSessionEnumerator* sessions = nullptr;
    HRESULT enumeratorResult = S_OK;

    HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** out) override;
    HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }
};

class FakeDevice : public FakeCom<IMMDevice> {
public:
    using FakeCom::FakeCom;
    FakeSessionManager* manager = nullptr;
    HRESULT activateResult = S_OK;

    // Refuses anything but a session manager asked for as the walk must ask.
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters, void** out) override;
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD*) override { return E_NOTIMPL; }
};

class FakeDeviceCollection : public FakeCom<IMMDeviceCollection> {
public:
    using FakeCom::FakeCom;
    std::vector<FakeDevice*> devices;
    std::set<UINT> failingIndices;  // Item fails for these
    HRESULT countResult = S_OK;
    bool countWritten = true;

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        if (countWritten) {
            *count = static_cast<UINT>(devices.size());
        }
        return countResult;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** out) override;
};

class FakeDeviceEnumerator : public FakeCom<IMMDeviceEnumerator> {
public:
    using FakeCom::FakeCom;
    FakeDeviceCollection* endpoints = nullptr;
    HRESULT enumResult = S_OK;

    // Refuses anything but the active render endpoints.
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD states, IMMDeviceCollection** out) override;
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
};

// Owns every fake and the log of releases.
struct FakeWorld {
    FakeWorld();
    FakeWorld(const FakeWorld&) = delete;
    FakeWorld& operator=(const FakeWorld&) = delete;

    template <class T>
    T& make(std::string name) {
        auto object = std::make_unique<T>(*this, std::move(name));
        T& result = *object;
        owned.push_back(std::move(object));
        return result;
    }

    // A new active render endpoint with its session manager and session
    // enumerator, named "deviceN", "managerN" and "sessionsN".
    FakeDevice& addEndpoint();
    // A new live session of `processId` on `device`, named "sN" and, for its
    // second interface, "sN.2".
    FakeSessionControl& addSession(FakeDevice& device, DWORD processId);
    FakeSessionEnumerator& sessionsOf(FakeDevice& device) { return *device.manager->sessions; }

    // The factory the walk is given: hands out the enumerator, or fails.
    HRESULT createEnumerator(IMMDeviceEnumerator** out);

    // Names of objects whose count is not back at the test's own reference,
    // or that were released more often than referenced.
    std::vector<std::string> unbalanced() const;

    void logRelease(const std::string& name) { releases.push_back(name); }

    HRESULT createResult = S_OK;
    int createCalls = 0;
    std::vector<std::string> releases;

    FakeDeviceEnumerator* enumerator;
    FakeDeviceCollection* endpoints;

    // What failing calls leave in their out-parameters.
    FakeDevice* strayDevice;
    FakeSessionManager* strayManager;
    FakeSessionEnumerator* straySessions;
    FakeSessionControl* straySession;
    FakeDeviceCollection* strayCollection;
    FakeDeviceEnumerator* strayEnumerator;

private:
    std::deque<std::unique_ptr<FakeBase>> owned;
    int deviceCount = 0;
    int sessionCount = 0;
};

template <class Interface>
ULONG STDMETHODCALLTYPE FakeCom<Interface>::Release() {
    world.logRelease(name);
    if (references <= 0) {
        overReleased = true;
        return 0;
    }
    return static_cast<ULONG>(--references);
}
