// The blocking activation against a fake system activation: the request it
// makes, and the code and client it ends with on every road, with and without
// a result-code pointer. The fixture checks that every road releases the
// operation, the activated interface and the handler (its event closed).

#include "windows/ActivateProcessLoopback.h"
#include "fakes/FakePlatformTest.h"

#include <cstring>

namespace {

class ActivateProcessLoopbackTest : public FakePlatformTest {};

constexpr HRESULT timedOut = static_cast<HRESULT>(0x800705B4);
constexpr HRESULT accessDenied = static_cast<HRESULT>(0x80070005);
constexpr HRESULT fileNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT illegalMethodCall = static_cast<HRESULT>(0x8000000E);

TEST_F(ActivateProcessLoopbackTest, RequestsTheProcessTreeLoopbackOfTheGivenProcess) {
    planClient();
    IAudioClient* client = ActivateProcessLoopback(0x12345678, nullptr);
    ASSERT_NE(client, nullptr);
    client->Release();

    ActivationRecord request = activationRecord();
    EXPECT_EQ(request.calls, 1);
    EXPECT_EQ(request.devicePath, L"VAD\\Process_Loopback");
    EXPECT_TRUE(IsEqualIID(request.requestedIid, __uuidof(IAudioClient)));
    EXPECT_EQ(request.vt, VT_BLOB);
    EXPECT_EQ(request.reserved[0], 0);
    EXPECT_EQ(request.reserved[1], 0);
    EXPECT_EQ(request.reserved[2], 0);
    EXPECT_EQ(request.blobSize, 12u);
    // Type 1 (process loopback), the id, mode 0 (include the tree); little-endian.
    const std::vector<unsigned char> expected = {1, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0};
    EXPECT_EQ(request.blob, expected);
    EXPECT_TRUE(request.operationPreset);
    EXPECT_TRUE(request.handlerAnsweredAgile);
}

struct Road {
    const char* name;
    HRESULT refuse;
    HRESULT getResultReturns;
    HRESULT activateResult;
    enum class Activated { nothing, audioClient, notAnAudioClient } activated;
    bool clientExpected;
    HRESULT expectedCode;
};

const Road roads[] = {
    {"refused", accessDenied, S_OK, S_OK, Road::Activated::audioClient, false, accessDenied},
    {"GetActivateResult fails", S_OK, illegalMethodCall, S_OK, Road::Activated::audioClient, false, illegalMethodCall},
    {"activation fails", S_OK, S_OK, fileNotFound, Road::Activated::nothing, false, fileNotFound},
    {"activation fails yet hands an interface", S_OK, S_OK, fileNotFound, Road::Activated::audioClient, false,
     fileNotFound},
    {"success without an interface", S_OK, S_OK, S_OK, Road::Activated::nothing, false, S_OK},
    {"positive success without an interface", S_OK, S_OK, S_FALSE, Road::Activated::nothing, false, S_FALSE},
    {"no audio client behind the interface", S_OK, S_OK, S_OK, Road::Activated::notAnAudioClient, false,
     E_NOINTERFACE},
    {"success", S_OK, S_OK, S_OK, Road::Activated::audioClient, true, S_OK},
    {"positive success: the code is QueryInterface's", S_OK, S_FALSE, S_FALSE, Road::Activated::audioClient, true,
     S_OK},
};

class ActivationRoads : public ActivateProcessLoopbackTest,
                        public testing::WithParamInterface<std::tuple<Road, Completion>> {
protected:
    void plan() {
        const Road& road = std::get<0>(GetParam());
        ActivationPlan plan;
        plan.refuse = road.refuse;
        plan.completion = std::get<1>(GetParam());
        plan.getResultReturns = road.getResultReturns;
        plan.activateResult = road.activateResult;
        switch (road.activated) {
        case Road::Activated::nothing:
            break;
        case Road::Activated::audioClient:
            plan.activated = static_cast<IAudioClient*>(new FakeAudioClient(clientRecord, script));
            break;
        case Road::Activated::notAnAudioClient:
            plan.activated = newFakeUnknown();
            break;
        }
        planActivation(plan);
    }
};

TEST_P(ActivationRoads, EndsWithTheRightCodeAndClient) {
    const Road& road = std::get<0>(GetParam());

    plan();
    HRESULT code = 0x7EEEEEEE;
    IAudioClient* client = ActivateProcessLoopback(4242, &code);
    EXPECT_EQ(code, road.expectedCode);
    EXPECT_EQ(client != nullptr, road.clientExpected);
    // The caller owns one reference. The operation may still hold one too,
    // when the system's thread has not let go of it yet; once every thread
    // is done the fixture demands that no fake is left.
    if (client != nullptr) {
        client->Release();
    }
    finishActivations();

    // The same road without a result-code pointer returns the same.
    plan();
    client = ActivateProcessLoopback(4242, nullptr);
    EXPECT_EQ(client != nullptr, road.clientExpected);
    if (client != nullptr) {
        client->Release();
    }
    finishActivations();

    ActivationRecord record = activationRecord();
    if (road.refuse >= 0) {
        // Which of the two last references goes first depends on timing;
        // that the handler is gone shows as its event closed (fixture).
        EXPECT_TRUE(record.handlerLastRelease.has_value());
    } else {
        EXPECT_TRUE(fakeLogStartingWith("operation.").empty()) << "a refused request has no operation";
    }
    if (road.refuse < 0 || road.getResultReturns < 0 || road.activateResult < 0) {
        EXPECT_TRUE(fakeLogStartingWith("audioClient.Initialize").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, ActivationRoads,
    testing::Combine(testing::ValuesIn(roads), testing::Values(Completion::immediately, Completion::fromAnotherThread)),
    [](const testing::TestParamInfo<std::tuple<Road, Completion>>& info) {
        std::string name = std::get<0>(info.param).name;
        name += std::get<1>(info.param) == Completion::immediately ? " now" : " later";
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST_F(ActivateProcessLoopbackTest, NoCompletionWithinTheBoundGivesNullAndTimeout) {
    for (bool withCode : {true, false}) {
        SCOPED_TRACE(withCode ? "with result code" : "without result code");
        ActivationPlan plan;
        plan.completion = Completion::whenTriggered;
        // The late activation produces a client that nobody will ever see.
        plan.activated = static_cast<IAudioClient*>(new FakeAudioClient(clientRecord, script));
        planActivation(plan);

        HRESULT code = S_OK;
        IAudioClient* client = activateProcessLoopbackWithin(7, withCode ? &code : nullptr, 50);
        EXPECT_EQ(client, nullptr);
        if (withCode) {
            EXPECT_EQ(code, timedOut);
        }
        // The routine released the operation; the fake still holds it.
        EXPECT_EQ(fakeLogStartingWith("operation.Release=").size(), 1u);
        EXPECT_TRUE(fakeLogStartingWith("operation.GetActivateResult").empty());

        // The completion arrives afterwards: it must find a live handler and
        // an open event, and its Release must be the one that destroys it.
        completeHeldActivation();
        ActivationRecord record = activationRecord();
        ASSERT_TRUE(record.handlerLastRelease.has_value());
        EXPECT_EQ(*record.handlerLastRelease, 0u);
        EXPECT_EQ(fakeLiveObjects(), 0);
        clearFakeLog();
    }
}

TEST_F(ActivateProcessLoopbackTest, ProductWaitsForACompletionThatComesLater) {
    // A completion 20 ms after the request is well inside the product's bound.
    ActivationPlan plan;
    plan.completion = Completion::fromAnotherThread;
    plan.activated = static_cast<IAudioClient*>(new FakeAudioClient(clientRecord, script));
    planActivation(plan);
    HRESULT code = E_FAIL;
    IAudioClient* client = ActivateProcessLoopback(7, &code);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(code, S_OK);
    client->Release();
}

}  // namespace
