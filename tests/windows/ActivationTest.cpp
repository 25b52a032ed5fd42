// Activation of a process-loopback client through the real
// ActivateAudioInterfaceAsync, which reaches the fake: every outcome's code
// is passed on, the wait is bounded, and the completion handler answers and
// counts as the fake checks a handler called from the system's threads must.

#include "FakeWorld.h"
#include "windows/ActivateProcessLoopback.h"

namespace {

class Activation : public FakeWorld {};

TEST_F(Activation, PassesEveryOutcomeOn) {
    const struct {
        LONG fault;
        HRESULT code;
    } rows[] = {
        {0, S_OK},
        {fake::refuse, E_ACCESSDENIED},
        {fake::failResult, AUDCLNT_E_DEVICE_INVALIDATED},
        {fake::failGetResult, E_ABORT},
        {fake::noInterface, S_FALSE},  // a success without an interface is still no client
        {fake::failQueryInterface, E_NOINTERFACE},  // what was activated is no IAudioClient
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        faults() = fake::Faults{.activationPid = 4242, .activationFault = row.fault, .activationCode = row.code};
        HRESULT code = 0x12345678;
        IAudioClient* client = ActivateProcessLoopback(4242, &code);
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(client != nullptr, row.fault == 0);
        if (client) client->Release();
        EXPECT_TRUE(eventually([] { return counts().objects == 0; })) << "left alive: " << counts().objects;
    }
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

TEST_F(Activation, GivesUpAtItsBoundAndTheLateCompletionFreesEverything) {
    faults().holdActivations = 4242;
    counts().handlerLastCount = -1;
    HRESULT code = 0;
    EXPECT_EQ(activateProcessLoopbackWithin(4242, &code, 200), nullptr);
    EXPECT_EQ(code, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    faults().holdActivations = 0;
    EXPECT_TRUE(eventually([] { return counts().objects == 0; })) << "the late client or its operation left alive";
    EXPECT_EQ(counts().handlerLastCount, 0) << "the system's release, the last, destroys the handler";
    EXPECT_EQ(counts().misuses, 0) << "misuse at line " << counts().lastMisuse << " of the fake";
}

}  // namespace
