#pragma once
// The completion handler that the system calls when an activation of a
// process-loopback client has ended. One object per activation, on the heap.
//
// Two interface tables, one object: the IActivateAudioInterfaceCompletionHandler
// pointer is the identity handed to the system and answered for IUnknown; the
// IAgileObject table only forwards to it. Answering IAgileObject tells COM the
// object may be called from any thread without marshalling, which is true:
// its only shared state is the interlocked count and an event. The system's
// documentation asks an agile handler for more: an aggregated free-threaded
// marshaler, which answers IMarshal for it, so that a system that marshals
// the handler all the same hands every thread the object itself.
//
// Threads: the activating thread creates it and drops its reference; the
// system calls ActivateCompleted, AddRef and Release on threads of its own.
// Whoever releases last destroys the object, so `referenceCount` is changed
// only by interlocked operations and `completionEvent` stays open until then
// (a late ActivateCompleted always finds a valid handle).
//
// There is deliberately no virtual destructor: COM objects are destroyed
// through their own Release, never through an interface pointer.

#include "windows/CoreAudio.h"

class ActivationHandler final : public IActivateAudioInterfaceCompletionHandler, public IAgileObject {
public:
    // Count 1, the creator's reference; a new manual-reset, non-signalled
    // event. A failed CreateEventW leaves the handle null: the waiter then
    // fails at once, which it reports as a time-out.
    ActivationHandler();
    ActivationHandler(const ActivationHandler&) = delete;
    ActivationHandler& operator=(const ActivationHandler&) = delete;

    // IActivateAudioInterfaceCompletionHandler (and IUnknown)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ActivateCompleted(IActivateAudioInterfaceAsyncOperation* operation) override;

    // The handle the activating thread waits on; owned, closed on destruction.
    HANDLE completionEvent;
    // Interlocked only; 0 is reached exactly once, by the destroying Release.
    volatile LONG referenceCount;
    // The free-threaded marshaler's own IUnknown, the one reference to it,
    // released with the handler; null when it could not be made (IMarshal is
    // then refused). Its IMarshal counts on this object's count.
    IUnknown* freeThreadedMarshaler;

private:
    // Only the Release that reaches 0 destroys the object.
    ~ActivationHandler();
};
