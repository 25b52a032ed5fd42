#include "platform/CoreAudio.h"

ActivateAudioInterfaceAsyncRoutine activateAudioInterfaceAsync = &ActivateAudioInterfaceAsync;
