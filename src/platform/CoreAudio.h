#pragma once
// The one door to Windows Core Audio: every file that talks to Core Audio
// includes this header and nothing of Core Audio directly.

#include <windows.h>

#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>
