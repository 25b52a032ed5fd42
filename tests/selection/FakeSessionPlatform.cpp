#include "FakeSessionPlatform.h"

HRESULT STDMETHODCALLTYPE FakeSessionControl::QueryInterface(REFIID iid, void** out) {
    if (second != nullptr && iid == __uuidof(IAudioSessionControl2)) {
        if (FAILED(queryResult)) {
            *out = static_cast<IAudioSessionControl2*>(world.straySession);
            return queryResult;
        }
        *out = static_cast<IAudioSessionControl2*>(second);
        second->AddRef();
        return S_OK;
    }
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IAudioSessionControl) ||
        iid == __uuidof(IAudioSessionControl2)) {
        *out = static_cast<IAudioSessionControl2*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE FakeSessionEnumerator::GetSession(int index, IAudioSessionControl** out) {
    if (failingIndices.contains(index) || index < 0 || index >= static_cast<int>(sessions.size())) {
        *out = world.straySession;
        return E_INVALIDARG;
    }
    *out = sessions[static_cast<std::size_t>(index)];
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeSessionManager::GetSessionEnumerator(IAudioSessionEnumerator** out) {
    if (FAILED(enumeratorResult)) {
        *out = world.straySessions;
        return enumeratorResult;
    }
    *out = sessions;
    sessions->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::Activate(REFIID iid, DWORD context, PROPVARIANT* parameters, void** out) {
    if (iid != __uuidof(IAudioSessionManager2) || context != CLSCTX_ALL || parameters != nullptr) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    if (FAILED(activateResult)) {
        *out = static_cast<IAudioSessionManager2*>(world.strayManager);
        return activateResult;
    }
    *out = static_cast<IAudioSessionManager2*>(manager);
    manager->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeDeviceCollection::Item(UINT index, IMMDevice** out) {
    if (failingIndices.contains(index) || index >= devices.size()) {
        *out = world.strayDevice;
        return E_INVALIDARG;
    }
    *out = devices[index];
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeDeviceEnumerator::EnumAudioEndpoints(EDataFlow flow, DWORD states,
                                                                  IMMDeviceCollection** out) {
    if (flow != eRender || states != DEVICE_STATE_ACTIVE) {
        *out = nullptr;
        return E_INVALIDARG;
    }
    if (FAILED(enumResult)) {
        *out = world.strayCollection;
        return enumResult;
    }
    *out = endpoints;
    endpoints->AddRef();
    return S_OK;
}

FakeWorld::FakeWorld() {
    enumerator = &make<FakeDeviceEnumerator>("enumerator");
    endpoints = &make<FakeDeviceCollection>("endpoints");
    enumerator->endpoints = endpoints;

    strayDevice = &make<FakeDevice>("stray device");
    strayManager = &make<FakeSessionManager>("stray manager");
    straySessions = &make<FakeSessionEnumerator>("stray sessions");
    straySession = &make<FakeSessionControl>("stray session");
    strayCollection = &make<FakeDeviceCollection>("stray collection");
    strayEnumerator = &make<FakeDeviceEnumerator>("stray enumerator");
}

FakeDevice& FakeWorld::addEndpoint() {
    std::string n = std::to_string(deviceCount++);
    FakeDevice& device = make<FakeDevice>("device" + n);
    device.manager = &make<FakeSessionManager>("manager" + n);
    device.manager->sessions = &make<FakeSessionEnumerator>("sessions" + n);
    endpoints->devices.push_back(&device);
    return device;
}

FakeSessionControl& FakeWorld::addSession(FakeDevice& device, DWORD processId) {
    std::string n("s");
    n += std::to_string(sessionCount++);
    FakeSessionControl& session = make<FakeSessionControl>(n);
    FakeSessionControl& second = make<FakeSessionControl>(n + ".2");
    session.second = &second;
    second.first = &session;
    session.processId = processId;
    sessionsOf(device).sessions.push_back(&session);
    return session;
}

HRESULT FakeWorld::createEnumerator(IMMDeviceEnumerator** out) {
    ++createCalls;
    if (FAILED(createResult)) {
        *out = strayEnumerator;
        return createResult;
    }
    *out = enumerator;
    enumerator->AddRef();
    return S_OK;
}

std::vector<std::string> FakeWorld::unbalanced() const {
    std::vector<std::string> names;
    for (const auto& object : owned) {
        if (object->references != 1 || object->overReleased) {
            names.push_back(object->name + " (" + std::to_string(object->references) + ")");
        }
    }
    return names;
}
