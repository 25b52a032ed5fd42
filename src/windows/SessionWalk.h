#pragma once
// The walk over the audio sessions of every active render endpoint that finds
// which processes have a live, non-system session.
//
// The device enumerator comes from a factory so that tests can hand in a fake
// one; the product passes createDeviceEnumerator (CoCreateInstance).
//
// Threads: the scanning thread, in the multithreaded apartment, without the
// source-map lock. Every reference it obtains is released before it returns.

#include "windows/CoreAudio.h"
#include "selection/SelectionRules.h"

#include <functional>

// Stores a new enumerator reference into `*enumerator` on success.
using DeviceEnumeratorFactory = std::function<HRESULT(IMMDeviceEnumerator** enumerator)>;

// The real enumerator: CoCreateInstance of MMDeviceEnumerator, CLSCTX_ALL.
HRESULT createDeviceEnumerator(IMMDeviceEnumerator** enumerator);

// The process ids of the sessions that qualify, each once. A session is
// skipped when it is the system-sounds session, expired, or of no (or an
// unknown) process; a failed endpoint or session contributes nothing; when no
// enumerator or no endpoint list can be had, the set is empty.
ProcessIdSet gatherSessionProcessIds(const DeviceEnumeratorFactory& createEnumerator);
