// Entry points of the fake mmdevapi.dll besides ActivateAudioInterfaceAsync.

#include "Devices.h"
#include "EventTracker.h"
#include "FakeRuntime.h"

#include <mmdeviceapi.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        // Only when the program used the fake at all: opening the record here
        // would count a process that never did.
        fakeplatform::finalEventSweep();
        fakeplatform::noteDetach();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != __uuidof(MMDeviceEnumerator)) return CLASS_E_CLASSNOTAVAILABLE;
    return fakeplatform::getEnumeratorFactory(riid, out);
}

// Never unloaded: the fake's engine and completion threads run code of this
// DLL until the process ends.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
