#include "windows/SessionWalk.h"

#include "windows/ComPtr.h"

namespace {

// A failed call hands over no reference, whatever it left in the
// out-parameter, so that value is dropped unreleased. A success that
// delivers no object is treated as a failure rather than dereferenced.
template <class T>
bool obtained(HRESULT result, ComPtr<T>& reference) {
    if (SUCCEEDED(result) && reference) {
        return true;
    }
    static_cast<void>(reference.detach());
    return false;
}

// Visits one session when it qualifies, with its process id.
void visitIfQualifying(IAudioSessionEnumerator& sessions, int index, const LiveSessionVisitor& visit) {
    // Declared in the order obtained, so they are released in reverse:
    // the IAudioSessionControl2 reference, then the session control.
    ComPtr<IAudioSessionControl> control;
    if (!obtained(sessions.GetSession(index, control.put()), control)) {
        return;
    }
    ComPtr<IAudioSessionControl2> control2;
    if (!obtained(control->QueryInterface(__uuidof(IAudioSessionControl2), control2.putVoid()),
                  control2)) {
        return;
    }

    // Preset, so that a call that fails without writing leaves a value that
    // skips the session.
    AudioSessionState state = AudioSessionStateExpired;
    DWORD processId = 0;
    control->GetState(&state);

    if (control2->IsSystemSoundsSession() == S_OK) {
        return;
    }
    if (state == AudioSessionStateExpired) {
        return;
    }
    // A session that several processes share answers
    // AUDCLNT_S_NO_SINGLE_PROCESS, a success, with the process that created
    // it. That process's tree is what a capture can take of the session: no
    // call names the others, and those with sessions of their own are found
    // through them. So the session counts as its creator's.
    if (FAILED(control2->GetProcessId(&processId)) || processId == 0) {
        return;
    }
    visit(processId, *control.get());
}

// Visits the qualifying sessions of one endpoint.
void walkEndpoint(IMMDeviceCollection& endpoints, UINT index, const LiveSessionVisitor& visit,
                  const SessionManagerHook& onManager) {
    // Released in reverse: session enumerator, session manager, device.
    ComPtr<IMMDevice> device;
    if (!obtained(endpoints.Item(index, device.put()), device)) {
        return;
    }
    ComPtr<IAudioSessionManager2> manager;
    if (!obtained(device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                                   manager.putVoid()),
                  manager)) {
        return;
    }
    if (onManager) {
        onManager(*manager.get());
    }
    ComPtr<IAudioSessionEnumerator> sessions;
    if (!obtained(manager->GetSessionEnumerator(sessions.put()), sessions)) {
        return;
    }

    int count = 0;
    sessions->GetCount(&count);
    for (int session = 0; session < count; ++session) {
        visitIfQualifying(*sessions.get(), session, visit);
    }
}

}  // namespace

HRESULT createDeviceEnumerator(IMMDeviceEnumerator** enumerator) {
    return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                            __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(enumerator));
}

void walkLiveSessions(const DeviceEnumeratorFactory& createEnumerator, const LiveSessionVisitor& visit,
                      const SessionManagerHook& onManager) {
    // Released in reverse: the endpoint collection, then the enumerator.
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (!obtained(createEnumerator(enumerator.put()), enumerator)) {
        return;
    }
    ComPtr<IMMDeviceCollection> endpoints;
    if (!obtained(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, endpoints.put()),
                  endpoints)) {
        return;
    }

    UINT count = 0;
    endpoints->GetCount(&count);
    for (UINT index = 0; index < count; ++index) {
        walkEndpoint(*endpoints.get(), index, visit, onManager);
    }
}

ProcessIdSet gatherSessionProcessIds(const DeviceEnumeratorFactory& createEnumerator,
                                     const SessionManagerHook& onManager) {
    ProcessIdSet found;
    walkLiveSessions(createEnumerator, [&found](std::uint32_t processId, IAudioSessionControl&) {
        found.insert(processId);
    }, onManager);
    return found;
}
