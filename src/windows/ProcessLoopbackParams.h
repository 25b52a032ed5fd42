#pragma once
// The process-loopback activation request, in Windows' documented layout.
// MinGW-w64's headers do not declare these types, so they are declared here
// exactly as audioclientactivationparams.h lays them out; the checks below
// keep the layout honest, because the audio service reads the record as raw
// bytes out of a VT_BLOB PROPVARIANT.

#include <windows.h>

#include <propidl.h>

#include <cstddef>

typedef enum AUDIOCLIENT_ACTIVATION_TYPE {
    AUDIOCLIENT_ACTIVATION_TYPE_DEFAULT = 0,
    AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK = 1,
} AUDIOCLIENT_ACTIVATION_TYPE;

typedef enum PROCESS_LOOPBACK_MODE {
    PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE = 0,
    PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE = 1,
} PROCESS_LOOPBACK_MODE;

typedef struct AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS {
    DWORD TargetProcessId;
    PROCESS_LOOPBACK_MODE ProcessLoopbackMode;
} AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS;

typedef struct AUDIOCLIENT_ACTIVATION_PARAMS {
    AUDIOCLIENT_ACTIVATION_TYPE ActivationType;
    union {
        AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS ProcessLoopbackParams;
    };
} AUDIOCLIENT_ACTIVATION_PARAMS;

// The virtual device that hands out process-loopback clients.
#define VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK L"VAD\\Process_Loopback"

static_assert(sizeof(AUDIOCLIENT_ACTIVATION_TYPE) == 4);
static_assert(sizeof(PROCESS_LOOPBACK_MODE) == 4);
static_assert(sizeof(AUDIOCLIENT_ACTIVATION_PARAMS) == 12, "the service expects a 12-byte record");
static_assert(offsetof(AUDIOCLIENT_ACTIVATION_PARAMS, ActivationType) == 0);
static_assert(offsetof(AUDIOCLIENT_ACTIVATION_PARAMS, ProcessLoopbackParams) == 4);
static_assert(offsetof(AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS, TargetProcessId) == 0);
static_assert(offsetof(AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS, ProcessLoopbackMode) == 4);
static_assert(sizeof(VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK) / sizeof(wchar_t) - 1 == 20);

// The variant that carries the record: the type tag, three reserved words,
// then the blob's size and address.
static_assert(sizeof(VARTYPE) == 2 && VT_BLOB == 65);
static_assert(offsetof(PROPVARIANT, vt) == 0);
static_assert(offsetof(PROPVARIANT, wReserved1) == 2);
static_assert(offsetof(PROPVARIANT, wReserved2) == 4);
static_assert(offsetof(PROPVARIANT, wReserved3) == 6);
static_assert(offsetof(PROPVARIANT, blob) == 8);
static_assert(offsetof(PROPVARIANT, blob.cbSize) == 8);
static_assert(offsetof(PROPVARIANT, blob.pBlobData) == 16);
static_assert(sizeof(PROPVARIANT) == 24);
