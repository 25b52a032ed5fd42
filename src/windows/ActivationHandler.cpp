#include "windows/ActivationHandler.h"

#include <cstring>

namespace {

bool sameIid(REFIID a, REFIID b) {
    return std::memcmp(&a, &b, sizeof(IID)) == 0;
}

}  // namespace

ActivationHandler::ActivationHandler()
    : completionEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)), referenceCount(1) {}

ActivationHandler::~ActivationHandler() {
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
