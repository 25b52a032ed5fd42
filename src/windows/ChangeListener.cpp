#include "windows/ChangeListener.h"

#include <cstring>

namespace {

bool sameIid(REFIID a, REFIID b) {
    return std::memcmp(&a, &b, sizeof(IID)) == 0;
}

}  // namespace

ChangeListener::ChangeListener(RescanWake& wake, std::atomic<bool>& endpointsChanged)
    : wake(wake), endpointsChanged(endpointsChanged) {}

HRESULT STDMETHODCALLTYPE ChangeListener::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (sameIid(iid, __uuidof(IUnknown)) || sameIid(iid, __uuidof(IAudioSessionNotification))) {
        *object = static_cast<IAudioSessionNotification*>(this);
    } else if (sameIid(iid, __uuidof(IMMNotificationClient))) {
        *object = static_cast<IMMNotificationClient*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE ChangeListener::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE ChangeListener::Release() {
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

// The session itself is not kept (the scan finds it again by its process),
// so it gets no AddRef and no Release here.
HRESULT STDMETHODCALLTYPE ChangeListener::OnSessionCreated(IAudioSessionControl*) {
    wake.wake();
    return S_OK;
}

HRESULT ChangeListener::endpointsMoved() {
    endpointsChanged.store(true);
    wake.wake();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ChangeListener::OnDeviceStateChanged(LPCWSTR, DWORD) { return endpointsMoved(); }
HRESULT STDMETHODCALLTYPE ChangeListener::OnDeviceAdded(LPCWSTR) { return endpointsMoved(); }
HRESULT STDMETHODCALLTYPE ChangeListener::OnDeviceRemoved(LPCWSTR) { return endpointsMoved(); }

// A new default changes no endpoint's state, and a process-loopback capture
// is tied to no endpoint; a property (a name, a format) changes no session.
HRESULT STDMETHODCALLTYPE ChangeListener::OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE ChangeListener::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) { return S_OK; }
