#pragma once
// The object that Core Audio tells of changes: a new audio session on an
// endpoint whose session manager it is registered with
// (IAudioSessionNotification), and endpoints that appear, go or change state
// (IMMNotificationClient). Each such call wakes the rescan thread; an
// endpoint's also marks the session registrations for renewal, since the set
// of endpoints they cover may be out of date.
//
// Threads: Core Audio calls it on threads of its own, at any time while it
// is registered and also while it is being unregistered. So it only sets an
// atomic flag and wakes (RescanWake::wake never waits for a scan); it keeps
// no session it is told of and never unregisters itself (which would wait
// for the very call it is in). `referenceCount` is changed by interlocked
// operations only. The wake and the flag belong to the program's shared
// state, which outlives every registration.
//
// No virtual destructor: COM objects are destroyed through their own Release.

#include "windows/CoreAudio.h"
#include "selection/RescanWake.h"

#include <atomic>

class ChangeListener final : public IAudioSessionNotification, public IMMNotificationClient {
public:
    // Count 1, the creator's reference.
    ChangeListener(RescanWake& wake, std::atomic<bool>& endpointsChanged);
    ChangeListener(const ChangeListener&) = delete;
    ChangeListener& operator=(const ChangeListener&) = delete;

    // IUnknown, answered through the IAudioSessionNotification table.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IAudioSessionNotification
    HRESULT STDMETHODCALLTYPE OnSessionCreated(IAudioSessionControl* session) override;

    // IMMNotificationClient
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR endpointId, DWORD newState) override;
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR endpointId) override;
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR endpointId) override;
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR endpointId) override;
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR endpointId, const PROPERTYKEY key) override;

private:
    ~ChangeListener() = default;
    HRESULT endpointsMoved();

    RescanWake& wake;
    std::atomic<bool>& endpointsChanged;
    volatile LONG referenceCount = 1;
};
