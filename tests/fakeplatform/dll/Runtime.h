#pragma once
// What every part of the fake mmdevapi.dll shares: the control record, the
// count of misuse, and the base of its COM objects.
//
// Threads: all of it from any thread. The record is opened at its first use
// (a test exe loads the fake as an import, before main has chosen its
// namespace) and stays mapped until the process ends.

#include "FakeControl.h"

#include <unknwn.h>

namespace fakeplatform {

inline fake::Record& record() {
    // Without a record to share the fake still works, alone and quiet.
    static fake::Record* const shared = fake::openRecord();
    static fake::Record alone{};
    return shared ? *shared : alone;
}
inline fake::Faults& faults() { return record().faults; }
inline fake::Accounting& counts() { return record().counts; }
inline LONG bump(volatile LONG& counter, LONG by = 1) { return InterlockedAdd(&counter, by); }

// Counts a call the program must never make (out of order, or with arguments
// it never passes), notes the fake's line, and answers E_UNEXPECTED.
inline HRESULT misuse(int line) {
    bump(counts().misuses);
    InterlockedExchange(&counts().lastMisuse, line);
    return E_UNEXPECTED;
}
#define MISUSE misuse(__LINE__)

// One object, one interlocked count for all its interfaces; QueryInterface
// answers IUnknown (with the first) and each interface, nothing else. The
// last Release calls lastReleased.
template <class First, class... More>
class ComObject : public First, public More... {
public:
    ComObject() { bump(counts().objects); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return MISUSE;
        *out = iid == __uuidof(IUnknown) || iid == __uuidof(First) ? static_cast<First*>(this) : nullptr;
        ((*out = !*out && iid == __uuidof(More) ? static_cast<More*>(this) : *out), ...);
        if (*out) AddRef();
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return bump(references); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = bump(references, -1);
        if (left == 0) lastReleased();
        return left;
    }

protected:
    virtual ~ComObject() { bump(counts().objects, -1); }
    virtual void lastReleased() { delete this; }
    // Hands this object out as `Interface`, with a reference.
    template <class Interface>
    HRESULT handOut(Interface** out) {
        AddRef();
        *out = this;
        return S_OK;
    }

private:
    volatile LONG references = 1;
};

// A new process-loopback audio client capturing `target`, one reference
// (Client.cpp).
IUnknown* newClient(DWORD target);

// The fake's one service thread, as the audio service's own: started at the
// first use (a client's Start, a listener's registration), at time-critical
// priority, until the process ends. Every 5 ms it signals the events of the
// clients whose packets fell due (Client.cpp) and then tells the registered
// listeners what changed (Sessions.cpp). False when it could not be started.
bool startService();
void tellListeners();  // on the service thread only

// Methods the program never calls: each counts as misuse.
#define UNUSED(method, ...) \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return MISUSE; }

}  // namespace fakeplatform
