#pragma once
// The walk over the audio sessions of every active render endpoint that finds
// which processes have a live, non-system session: for the scan, their ids;
// for the list of what plays, each session's own description as well.
//
// The device enumerator comes from a factory so that tests can hand in a fake
// one; the product passes createDeviceEnumerator (CoCreateInstance).
//
// Threads: the scanning thread, in the multithreaded apartment, without the
// source-map lock. Every reference it obtains is released before it returns.

#include "windows/CoreAudio.h"
#include "selection/SelectionRules.h"

#include <cstdint>
#include <functional>

// Stores a new enumerator reference into `*enumerator` on success.
using DeviceEnumeratorFactory = std::function<HRESULT(IMMDeviceEnumerator** enumerator)>;

// The real enumerator: CoCreateInstance of MMDeviceEnumerator, CLSCTX_ALL.
HRESULT createDeviceEnumerator(IMMDeviceEnumerator** enumerator);

// Called with each endpoint's session manager just before the walk asks it
// for its session enumerator and counts that: the moment to register for its
// new sessions (AudioNotifications.h). It may AddRef the manager to keep it.
using SessionManagerHook = std::function<void(IAudioSessionManager2& manager)>;

// Calls `visit` for every session that qualifies, once per session (a
// process with several sessions is visited for each), with its process id
// and its control, which stays the walk's: `visit` may ask it more but keeps
// no reference. A session is skipped when it is the system-sounds session,
// expired, or of no (or an unknown) process; a failed endpoint or session
// contributes nothing; when no enumerator or no endpoint list can be had,
// nothing is visited.
using LiveSessionVisitor = std::function<void(std::uint32_t processId, IAudioSessionControl& control)>;
// `onManager`, when set, is told of every endpoint's session manager.
void walkLiveSessions(const DeviceEnumeratorFactory& createEnumerator, const LiveSessionVisitor& visit,
                      const SessionManagerHook& onManager = nullptr);

// The process ids of the sessions that qualify, each once; empty when the
// walk visits nothing.
ProcessIdSet gatherSessionProcessIds(const DeviceEnumeratorFactory& createEnumerator,
                                     const SessionManagerHook& onManager = nullptr);
