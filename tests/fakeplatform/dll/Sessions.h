#pragma once
// The session side of the fake: per endpoint, an IAudioSessionManager2 whose
// session enumerator lists the published player slots that have a session on
// that endpoint (plus, when the fault asks for it, one active session of the
// capturing process itself). Each enumerator holds a snapshot taken when it
// was made; each session control carries the values of its slot at that time.
//
// Threads: any; the objects are immutable after creation apart from their
// reference counts.

#include "FakeRuntime.h"

#include <audiopolicy.h>

namespace fakeplatform {

// A new session manager for endpoint `endpoint` (0 or 1), one reference.
IAudioSessionManager2* newSessionManager(int endpoint);

}  // namespace fakeplatform
