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

// The process id of one session when it qualifies, else 0.
std::uint32_t qualifyingProcessId(IAudioSessionEnumerator& sessions, int index) {
    // Declared in the order obtained, so they are released in reverse:
    // the IAudioSessionControl2 reference, then the session control.
    ComPtr<IAudioSessionControl> control;
    if (!obtained(sessions.GetSession(index, control.put()), control)) {
        return 0;
    }
    ComPtr<IAudioSessionControl2> control2;
    if (!obtained(control->QueryInterface(__uuidof(IAudioSessionControl2), control2.putVoid()),
                  control2)) {
        return 0;
    }

    // Preset, so that a call that fails without writing leaves a value that
    // skips the session.
    AudioSessionState state = AudioSessionStateExpired;
    DWORD processId = 0;
    control->GetState(&state);

    if (control2->IsSystemSoundsSession() == S_OK) {
        return 0;
    }
    if (state == AudioSessionStateExpired) {
        return 0;
    }
    if (FAILED(control2->GetProcessId(&processId))) {
        return 0;
    }
    return processId;
}

// Adds the qualifying sessions of one endpoint.
void gatherFromEndpoint(IMMDeviceCollection& endpoints, UINT index, ProcessIdSet& found) {
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
    ComPtr<IAudioSessionEnumerator> sessions;
    if (!obtained(manager->GetSessionEnumerator(sessions.put()), sessions)) {
        return;
    }

    int count = 0;
    sessions->GetCount(&count);
    for (int session = 0; session < count; ++session) {
        std::uint32_t processId = qualifyingProcessId(*sessions.get(), session);
        if (processId != 0) {
            found.insert(processId);
        }
    }
}

}  // namespace

HRESULT createDeviceEnumerator(IMMDeviceEnumerator** enumerator) {
    return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                            __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(enumerator));
}

ProcessIdSet gatherSessionProcessIds(const DeviceEnumeratorFactory& createEnumerator) {
    ProcessIdSet found;
    // Released in reverse: the endpoint collection, then the enumerator.
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (!obtained(createEnumerator(enumerator.put()), enumerator)) {
        return found;
    }
    ComPtr<IMMDeviceCollection> endpoints;
    if (!obtained(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, endpoints.put()),
                  endpoints)) {
        return found;
    }

    UINT count = 0;
    endpoints->GetCount(&count);
    for (UINT index = 0; index < count; ++index) {
        gatherFromEndpoint(*endpoints.get(), index, found);
    }
    return found;
}
