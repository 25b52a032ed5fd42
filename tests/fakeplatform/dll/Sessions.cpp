// Fake audio sessions: manager, enumerator, control.

#include "Sessions.h"

namespace fakeplatform {
namespace {

struct SessionValues {
    DWORD processId;
    LONG state;
    bool systemSounds;
    HRESULT processIdResult;
};

class SessionControl final : public ComObject<IAudioSessionControl2> {
public:
    explicit SessionControl(const SessionValues& v)
        : ComObject(accounts().sessionControlsCreated, accounts().sessionControlsDestroyed), values(v) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IAudioSessionControl) || riid == __uuidof(IAudioSessionControl2))
            return give(static_cast<IAudioSessionControl2*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* state) override {
        if (!state) return E_POINTER;
        *state = static_cast<AudioSessionState>(values.state);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* pid) override {
        if (!pid) return E_POINTER;
        if (FAILED(values.processIdResult)) return values.processIdResult;
        *pid = values.processId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override { return values.systemSounds ? S_OK : S_FALSE; }

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
    HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL) override { return E_NOTIMPL; }

private:
    const SessionValues values;
};

class SessionEnumerator final : public ComObject<IAudioSessionEnumerator> {
public:
    explicit SessionEnumerator(int endpoint)
        : ComObject(accounts().sessionEnumeratorsCreated, accounts().sessionEnumeratorsDestroyed) {
        const fake::ControlRecord& record = control();
        const LONG bit = endpoint == 0 ? fake::endpoint0 : fake::endpoint1;
        for (const fake::PlayerSlot& slot : record.slots) {
            if (slot.inUse != fake::slotPublished || !(slot.endpointMask & bit)) continue;
            sessions[count++] = SessionValues{static_cast<DWORD>(slot.processId), slot.sessionState,
                                              slot.systemSounds != 0, slot.processIdResult};
        }
        if (endpoint == 0 && record.faults.reportSelfSession)
            sessions[count++] = SessionValues{GetCurrentProcessId(), fake::sessionActive, false, S_OK};
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IAudioSessionEnumerator))
            return give(static_cast<IAudioSessionEnumerator*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetCount(int* sessionCount) override {
        if (!sessionCount) return E_POINTER;
        *sessionCount = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** session) override {
        if (!session) return E_POINTER;
        *session = nullptr;
        if (index < 0 || index >= count) return E_INVALIDARG;
        *session = new SessionControl(sessions[index]);
        return S_OK;
    }

private:
    SessionValues sessions[fake::maxPlayers + 1];
    int count = 0;
};

class SessionManager final : public ComObject<IAudioSessionManager2> {
public:
    explicit SessionManager(int endpointIndex)
        : ComObject(accounts().sessionManagersCreated, accounts().sessionManagersDestroyed), endpoint(endpointIndex) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IAudioSessionManager) || riid == __uuidof(IAudioSessionManager2))
            return give(static_cast<IAudioSessionManager2*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const fake::Faults& f = faults();
        if (f.endpointFailStep == fake::endpointStepSessionEnumerator && (f.endpointFailMask & (1 << endpoint)))
            return f.endpointFailCode < 0 ? f.endpointFailCode : E_FAIL;
        *out = new SessionEnumerator(endpoint);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }

private:
    const int endpoint;
};

}  // namespace

IAudioSessionManager2* newSessionManager(int endpoint) { return new SessionManager(endpoint); }

}  // namespace fakeplatform
