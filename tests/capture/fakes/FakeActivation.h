#pragma once
// A stand-in for the system's ActivateAudioInterfaceAsync, installed through
// the platform's activation pointer by FakePlatformTest. It follows a plan
// (refuse, or accept and complete now, from another thread, or only when the
// test says so) and records the request it received.
//
// Like the system, it holds its own reference to the completion handler from
// the accepted request until it has called ActivateCompleted, and drops it
// right after; the count that this last Release returns is recorded.
//
// Threads: the plan is set and the record read by the test thread while no
// activation is in flight; fakeActivationLock guards them otherwise.

#include "fakes/FakeCom.h"
#include "windows/CoreAudio.h"

#include <optional>
#include <string>
#include <vector>

enum class Completion { immediately, fromAnotherThread, whenTriggered };

struct ActivationPlan {
    HRESULT refuse = S_OK;            // negative: the request is refused with it
    Completion completion = Completion::immediately;
    HRESULT getResultReturns = S_OK;  // GetActivateResult's own result
    HRESULT activateResult = S_OK;    // the activation's result it reports
    // The activated interface, one reference that the plan owns; null for an
    // activation that hands back nothing.
    IUnknown* activated = nullptr;
};

struct ActivationRecord {
    int calls = 0;
    std::wstring devicePath;
    IID requestedIid{};
    VARTYPE vt = VT_EMPTY;
    WORD reserved[3] = {1, 1, 1};
    ULONG blobSize = 0;
    std::vector<unsigned char> blob;  // the activation record's bytes
    bool operationPreset = false;     // the out pointer arrived holding null
    std::optional<ULONG> handlerLastRelease;  // count after the fake's Release
    bool handlerAnsweredAgile = false;        // the handler gave out IAgileObject
};

// Sets the plan for the next activation (and takes over its `activated`).
void planActivation(ActivationPlan plan);
ActivationRecord activationRecord();
// Completes an activation held back with Completion::whenTriggered.
void completeHeldActivation();
// Completes whatever is held back and joins the completing threads; then no
// fake activation object is left behind. Called at the end of every test.
void finishActivations();

HRESULT WINAPI fakeActivateAudioInterfaceAsync(LPCWSTR deviceInterfacePath, REFIID riid,
                                               PROPVARIANT* activationParams,
                                               IActivateAudioInterfaceCompletionHandler* completionHandler,
                                               IActivateAudioInterfaceAsyncOperation** activationOperation);

// An activated object that is not an audio client: QueryInterface for
// IAudioClient fails on it.
IUnknown* newFakeUnknown();
