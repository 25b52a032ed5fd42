#include "windows/CoreAudio.h"

ActivateAudioInterfaceAsyncRoutine activateAudioInterfaceAsync = &ActivateAudioInterfaceAsync;
