#pragma once
// Activation of a process-loopback audio client, made blocking.
//
// Threads: any thread already in COM's multithreaded apartment; calls share no
// state, so two threads may activate at the same time.

#include "windows/CoreAudio.h"

#include <cstdint>

// How long the product waits for the system to report the end of an activation.
inline constexpr DWORD activationWaitMilliseconds = 5000;

// Returns an activated (not yet initialised) IAudioClient that captures what
// `processId` and its descendants play, carrying one reference the caller must
// release; or null. When `resultCode` is not null the final HRESULT is stored
// there on every path. Waits at most 5000 ms for the system's completion.
IAudioClient* ActivateProcessLoopback(std::uint32_t processId, HRESULT* resultCode);

// The same activation with the wait bound as a parameter. The product always
// goes through ActivateProcessLoopback; tests call this one to reach the
// time-out without waiting five seconds for it.
IAudioClient* activateProcessLoopbackWithin(std::uint32_t processId, HRESULT* resultCode, DWORD waitMilliseconds);
