// Fake endpoint enumeration.

#include "Devices.h"

#include "Sessions.h"

#include <mmdeviceapi.h>

#include <cstring>
#include <cwchar>

namespace fakeplatform {
namespace {

const wchar_t* const endpointIds[fake::endpointCount] = {
    L"{0.0.0.00000000}.{7a1c0000-0000-4000-8000-000000000000}",
    L"{0.0.0.00000000}.{7a1c0000-0000-4000-8000-000000000001}",
};

HRESULT endpointFault(LONG step, int endpoint) {
    const fake::Faults& f = faults();
    if (f.endpointFailStep != step || !(f.endpointFailMask & (1 << endpoint))) return S_OK;
    return f.endpointFailCode < 0 ? f.endpointFailCode : E_FAIL;
}

class Device final : public ComObject<IMMDevice> {
public:
    explicit Device(int index) : ComObject(accounts().devicesCreated, accounts().devicesDestroyed), endpoint(index) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IMMDevice)) return give(static_cast<IMMDevice*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Activate(REFIID riid, DWORD, PROPVARIANT*, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (HRESULT hr = endpointFault(fake::endpointStepActivate, endpoint); FAILED(hr)) return hr;
        if (riid != __uuidof(IAudioSessionManager2) && riid != __uuidof(IAudioSessionManager)) return E_NOINTERFACE;
        *out = static_cast<IAudioSessionManager2*>(newSessionManager(endpoint));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (!id) return E_POINTER;
        const size_t bytes = (std::wcslen(endpointIds[endpoint]) + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*id) return E_OUTOFMEMORY;
        std::memcpy(*id, endpointIds[endpoint], bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        if (!state) return E_POINTER;
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }

private:
    const int endpoint;
};

class Collection final : public ComObject<IMMDeviceCollection> {
public:
    explicit Collection(UINT endpoints)
        : ComObject(accounts().collectionsCreated, accounts().collectionsDestroyed), count(endpoints) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IMMDeviceCollection))
            return give(static_cast<IMMDeviceCollection*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* devices) override {
        if (!devices) return E_POINTER;
        *devices = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        if (!device) return E_POINTER;
        *device = nullptr;
        if (index >= count) return E_INVALIDARG;
        if (HRESULT hr = endpointFault(fake::endpointStepItem, static_cast<int>(index)); FAILED(hr)) return hr;
        *device = new Device(static_cast<int>(index));
        return S_OK;
    }

private:
    const UINT count;
};

class Enumerator final : public ComObject<IMMDeviceEnumerator> {
public:
    Enumerator() : ComObject(accounts().enumeratorsCreated, accounts().enumeratorsDestroyed) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IMMDeviceEnumerator))
            return give(static_cast<IMMDeviceEnumerator*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD stateMask, IMMDeviceCollection** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const fake::Faults& f = faults();
        if (f.enumeratorFault == fake::enumeratorEndpointsFail)
            return f.enumeratorFailCode < 0 ? f.enumeratorFailCode : E_FAIL;
        if (flow != eRender && flow != eCapture && flow != eAll) return E_INVALIDARG;
        const bool renders = flow != eCapture && (stateMask & DEVICE_STATE_ACTIVE);
        *out = new Collection(renders ? fake::endpointCount : 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (flow != eRender) return E_NOTFOUND;
        *out = new Device(0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** out) override {
        if (!out || !id) return E_POINTER;
        *out = nullptr;
        for (int i = 0; i < fake::endpointCount; ++i) {
            if (std::wcscmp(id, endpointIds[i]) == 0) {
                *out = new Device(i);
                return S_OK;
            }
        }
        return E_NOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
};

class EnumeratorFactory final : public ComObject<IClassFactory> {
public:
    EnumeratorFactory() : ComObject(accounts().classFactoriesCreated, accounts().classFactoriesDestroyed) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IClassFactory)) return give(static_cast<IClassFactory*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        const fake::Faults& f = faults();
        if (f.enumeratorFault == fake::enumeratorCreateInstanceFails)
            return f.enumeratorFailCode < 0 ? f.enumeratorFailCode : E_FAIL;
        auto* enumerator = new Enumerator();
        const HRESULT hr = enumerator->QueryInterface(riid, out);
        enumerator->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

HRESULT getEnumeratorFactory(REFIID riid, void** out) {
    const fake::Faults& f = faults();
    if (f.enumeratorFault == fake::enumeratorFactoryFails) return f.enumeratorFailCode < 0 ? f.enumeratorFailCode : E_FAIL;
    auto* factory = new EnumeratorFactory();
    const HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
}

}  // namespace fakeplatform
