#pragma once
// The device side of the fake: MMDeviceEnumerator's class factory and the
// enumerator, endpoint collection and endpoints it hands out. There are two
// active render endpoints and no capture endpoint.
//
// Threads: any; the objects are immutable apart from their reference counts.

#include "FakeRuntime.h"

namespace fakeplatform {

// DllGetClassObject's work for MMDeviceEnumerator.
HRESULT getEnumeratorFactory(REFIID riid, void** out);

}  // namespace fakeplatform
