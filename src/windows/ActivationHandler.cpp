#include "windows/ActivationHandler.h"

#include <cstring>

namespace {

bool sameIid(REFIID a, REFIID b) {
    return std::memcmp(&a, &b, sizeof(IID)) == 0;
}

}  // namespace

ActivationHandler::ActivationHandler()
    : completionEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      referenceCount(1),
      freeThreadedMarshaler(nullptr) {
    // Aggregated: the marshaler takes no reference to this object, and its
    // IMarshal forwards every count and every query to it.
    if (FAILED(CoCreateFreeThreadedMarshaler(static_cast<IActivateAudioInterfaceCompletionHandler*>(this),
                                             &freeThreadedMarshaler))) {
        freeThreadedMarshaler = nullptr;
    }
}

ActivationHandler::~ActivationHandler() {
    if (freeThreadedMarshaler != nullptr) {
        freeThreadedMarshaler->Release();
    }
    // A null handle (CreateEventW failed) is refused by CloseHandle; harmless.
    CloseHandle(completionEvent);
}

HRESULT STDMETHODCALLTYPE ActivationHandler::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (sameIid(iid, __uuidof(IUnknown)) || sameIid(iid, __uuidof(IActivateAudioInterfaceCompletionHandler))) {
        *object = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
    } else if (sameIid(iid, __uuidof(IAgileObject))) {
        *object = static_cast<IAgileObject*>(this);
    } else if (sameIid(iid, __uuidof(IMarshal)) && freeThreadedMarshaler != nullptr) {
        // Its answer is counted on this object, through the aggregation.
        return freeThreadedMarshaler->QueryInterface(iid, object);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE ActivationHandler::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE ActivationHandler::Release() {
    LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE ActivationHandler::ActivateCompleted(IActivateAudioInterfaceAsyncOperation*) {
    // The waiter collects the result itself; a failed signal only turns its
    // wait into a time-out, which it already handles.
    SetEvent(completionEvent);
    return S_OK;
}
