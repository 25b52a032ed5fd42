#pragma once
// What every part of the fake mmdevapi.dll shares: the control record of this
// process's namespace, counting into its accounting, and the reference
// counting of the fake COM objects.
//
// Threads: all of it may be used from any thread. The record is opened at the
// first use (not in DllMain: a test program sets its namespace in main, after
// the fake was already loaded as an import) and never closed, since worker
// threads of the fake may touch it until the process ends.

#include "FakeControl.h"

#include <unknwn.h>

namespace fakeplatform {

fake::ControlRecord& control();

// Counts the process's end in the accounting, if the process used the fake.
void noteDetach();

inline fake::Accounting& accounts() { return control().accounting; }
inline fake::Faults& faults() { return control().faults; }
inline void bump(volatile LONG& counter) { InterlockedIncrement(&counter); }

// Takes one unit from a counter of remaining fault uses; false when none is
// left. Several threads may race for the last one: exactly one wins it.
bool takeOne(volatile LONG& remaining);

// True while the process still runs (its exit code is STILL_ACTIVE).
bool processIsLive(DWORD pid);

// The performance counter and its frequency.
LONGLONG counterNow();
LONGLONG counterFrequency();

// Base of the fake COM objects: one interlocked count shared by every
// interface the object implements (the final overriders below serve all
// bases), and its created/destroyed pair in the accounting. The last Release
// deletes the object.
template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(volatile LONG& created, volatile LONG& destroyedCounter) : destroyed(destroyedCounter) {
        bump(created);
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~ComObject() { bump(destroyed); }

    // QueryInterface tail shared by every object: write the answer, count it.
    template <class I>
    HRESULT give(I* self, void** out) {
        *out = self;
        AddRef();
        return S_OK;
    }

private:
    volatile LONG references = 1;
    volatile LONG& destroyed;
};

}  // namespace fakeplatform
