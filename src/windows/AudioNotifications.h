#pragma once
// The program's registrations for Core Audio's change notifications, so that
// a scan follows a new session or a changed endpoint at once instead of at
// the next 2000 ms: one ChangeListener, registered for endpoint changes with
// a device enumerator of its own, and for new sessions with the session
// manager of every active render endpoint.
//
// Session registrations are made inside a scan's session walk (in target
// mode, which walks no sessions, a walk made for them alone), on each
// manager the walk activates, just before the walk asks that manager for its
// session enumerator and counts it: Core Audio delivers new sessions only
// once GetCount has been called on the manager's enumerator (it drops them
// before, to avoid a race at start-up), so the scan that registers also sees
// every session that came before. Registrations are made again, all of them,
// by the first walk after an endpoint changed, and by every walk until one
// holds on every endpoint it visited.
//
// Threads: watchEndpoints() on the main thread before the first scan;
// registrationHook() and what it returns on the scanning thread (the main
// thread for the first scan, the rescan thread later), never during
// stop(); stop() on the main thread at the final teardown, once no scan
// runs or will start (the scan gate is closed). All of these threads are in
// the multithreaded apartment: Core Audio delivers nothing to a listener
// registered from another. `managers`, `incomplete` and `walkFailed` are
// touched by those calls alone; `endpointsChanged` is atomic, set by the
// listener on Core Audio's threads.

#include "windows/ChangeListener.h"
#include "windows/ComPtr.h"
#include "windows/SessionWalk.h"
#include "selection/RescanWake.h"

#include <atomic>
#include <vector>

class AudioNotifications {
public:
    explicit AudioNotifications(RescanWake& wake);
    AudioNotifications(const AudioNotifications&) = delete;
    AudioNotifications& operator=(const AudioNotifications&) = delete;
    ~AudioNotifications() { stop(); }

    // Registers for endpoint changes. Without an enumerator nothing is
    // registered and the sessions' registrations still work.
    void watchEndpoints(const DeviceEnumeratorFactory& createEnumerator);

    // What one session walk calls with each endpoint's session manager. When
    // the registrations are to be made again, the old ones are dropped first.
    SessionManagerHook registrationHook();

    // Unregisters everything and releases every reference, in the order the
    // documentation asks: each session manager's registration before that
    // manager is released, the endpoint registration before its enumerator,
    // the listener last. Idempotent.
    void stop();

private:
    void dropSessionRegistrations();

    std::atomic<bool> endpointsChanged{false};  // set by the listener
    // Declared before what holds registrations of it, so it is released last.
    ComPtr<ChangeListener> listener;
    ComPtr<IMMDeviceEnumerator> endpointEnumerator;  // registered with listener while set
    std::vector<ComPtr<IAudioSessionManager2>> managers;  // each registered with listener
    bool incomplete = true;   // a walk must (re)register
    bool walkFailed = false;  // a registration of the current walk failed
};
