#include "windows/AudioNotifications.h"

AudioNotifications::AudioNotifications(RescanWake& wake)
    : listener(new ChangeListener(wake, endpointsChanged)) {}

void AudioNotifications::watchEndpoints(const DeviceEnumeratorFactory& createEnumerator) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (FAILED(createEnumerator(enumerator.put())) || !enumerator) {
        static_cast<void>(enumerator.detach());  // a failed call hands over nothing
        return;
    }
    if (SUCCEEDED(enumerator->RegisterEndpointNotificationCallback(listener.get()))) {
        endpointEnumerator = std::move(enumerator);
    }
}

SessionManagerHook AudioNotifications::registrationHook() {
    // Exchanged before the walk begins: a change that comes during the walk
    // is left for the next one, which its wake brings at once.
    const bool renew = endpointsChanged.exchange(false) || incomplete;
    if (!renew || !listener) {
        return nullptr;
    }
    dropSessionRegistrations();
    // Until a registration holds, the next walk tries again; an endpoint
    // whose registration fails makes it try again as well.
    incomplete = true;
    walkFailed = false;
    return [this](IAudioSessionManager2& manager) {
        if (FAILED(manager.RegisterSessionNotification(listener.get()))) {
            walkFailed = true;
            incomplete = true;
            return;
        }
        manager.AddRef();
        managers.emplace_back(&manager);
        incomplete = walkFailed;
    };
}

void AudioNotifications::dropSessionRegistrations() {
    // The registration goes before the reference it was made on.
    for (ComPtr<IAudioSessionManager2>& manager : managers) {
        manager->UnregisterSessionNotification(listener.get());
        manager.reset();
    }
    managers.clear();
}

void AudioNotifications::stop() {
    dropSessionRegistrations();
    if (endpointEnumerator) {
        endpointEnumerator->UnregisterEndpointNotificationCallback(listener.get());
        endpointEnumerator.reset();
    }
    listener.reset();
}
