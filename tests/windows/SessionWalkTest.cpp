// The walk over the fake's sessions through the real CoCreateInstance: which
// sessions name a process to capture, on every active render endpoint, with
// every reference it took given back.

#include "FakeWorld.h"
#include "windows/SessionWalk.h"

namespace {

class SessionWalk : public FakeWorld {};

TEST_F(SessionWalk, KeepsTheLiveSessionsOfEveryEndpoint) {
    const struct {
        LONG pid, state, systemSounds, pidResult, endpoints;
        bool kept;
    } rows[] = {
        {101, fake::active, S_FALSE, S_OK, 1, true},
        {102, fake::inactive, S_FALSE, S_OK, 1, true},  // a session that plays nothing just now
        {103, fake::expired, S_FALSE, S_OK, 1, false},
        {104, fake::active, S_OK, S_OK, 1, false},  // the system-sounds session
        {105, fake::active, 2, S_OK, 1, true},      // S_OK alone marks it
        {106, fake::active, E_FAIL, S_OK, 1, true},
        {107, fake::active, S_FALSE, E_FAIL, 1, false},  // the failing call wrote a pid all the same
        {108, fake::active, S_FALSE, S_OK, 2, true},     // on the second endpoint only
        {109, fake::active, S_FALSE, 0x0889000D, 1, true},  // AUDCLNT_S_NO_SINGLE_PROCESS: its creator's
    };
    ProcessIdSet expected;
    for (const auto& row : rows) {
        const fake::Slot session{0, row.state, row.systemSounds, row.pidResult, row.endpoints, 0, 0, 0};
        ASSERT_TRUE(fake::claimSlot(fakeRecord(), row.pid, session));
        if (row.kept) expected.insert(row.pid);
    }
    EXPECT_EQ(gatherSessionProcessIds(createDeviceEnumerator), expected);
    for (fake::Slot& slot : fakeRecord().slots) InterlockedExchange(&slot.pid, 0);
    EXPECT_EQ(counts().objects, 0) << "references the walk kept";
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

}  // namespace
