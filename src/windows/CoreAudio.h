#pragma once
// The one door to Windows Core Audio: every file that talks to Core Audio
// includes this header and nothing of Core Audio directly.
//
// The activation entry point is reached through `activateAudioInterfaceAsync`,
// a pointer that holds the real mmdevapi import. The product never changes
// it; a test installs its own activation there before it starts anything and
// puts the import back afterwards, the way a test double replaces a system
// service. It is read without a lock for that reason.

#include <windows.h>

#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include "windows/ProcessLoopbackParams.h"

using ActivateAudioInterfaceAsyncRoutine = HRESULT(WINAPI*)(
    LPCWSTR deviceInterfacePath, REFIID riid, PROPVARIANT* activationParams,
    IActivateAudioInterfaceCompletionHandler* completionHandler,
    IActivateAudioInterfaceAsyncOperation** activationOperation);

extern ActivateAudioInterfaceAsyncRoutine activateAudioInterfaceAsync;
