// The fake's endpoints and sessions, and the faults a test can inject.

#include "FakeTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace faketest;

namespace {

struct SessionSeen {
    AudioSessionState state;
    bool systemSounds;
};
using EndpointSessions = std::map<DWORD, SessionSeen>;

// Walks endpoints and sessions the way the program's scan does; returns
// CoCreateInstance's (or EnumAudioEndpoints') failure, if any.
HRESULT listSessions(std::vector<EndpointSessions>& endpoints) {
    endpoints.clear();
    IMMDeviceEnumerator* enumerator = nullptr;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  reinterpret_cast<void**>(&enumerator));
    if (FAILED(hr)) return hr;
    IMMDeviceCollection* collection = nullptr;
    hr = enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &collection);
    if (SUCCEEDED(hr)) {
        UINT count = 0;
        collection->GetCount(&count);
        for (UINT i = 0; i < count; ++i) {
            EndpointSessions& sessions = endpoints.emplace_back();
            IMMDevice* device = nullptr;
            if (FAILED(collection->Item(i, &device))) continue;
            IAudioSessionManager2* manager = nullptr;
            if (SUCCEEDED(device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                                           reinterpret_cast<void**>(&manager)))) {
                IAudioSessionEnumerator* list = nullptr;
                if (SUCCEEDED(manager->GetSessionEnumerator(&list))) {
                    int n = 0;
                    list->GetCount(&n);
                    for (int k = 0; k < n; ++k) {
                        IAudioSessionControl* control = nullptr;
                        if (FAILED(list->GetSession(k, &control))) continue;
                        IAudioSessionControl2* control2 = nullptr;
                        if (SUCCEEDED(control->QueryInterface(__uuidof(IAudioSessionControl2),
                                                              reinterpret_cast<void**>(&control2)))) {
                            AudioSessionState state = AudioSessionStateExpired;
                            control->GetState(&state);
                            DWORD pid = 0;
                            if (SUCCEEDED(control2->GetProcessId(&pid)))
                                sessions[pid] = SessionSeen{state, control2->IsSystemSoundsSession() == S_OK};
                            control2->Release();
                        }
                        control->Release();
                    }
                    list->Release();
                }
                manager->Release();
            }
            device->Release();
        }
        collection->Release();
    }
    enumerator->Release();
    return hr;
}

class FakeFaults : public ::testing::Test {
protected:
    void SetUp() override {
        record();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }
    void TearDown() override { fake::clearFaults(record()); }
};

TEST_F(FakeFaults, SessionsAppearOnTheirEndpointsWithTheirState) {
    StartedPlayer first(L"--endpoints 1");
    StartedPlayer both(L"--endpoints 3 --state inactive");
    StartedPlayer second(L"--endpoints 2 --state expired --system");
    StartedPlayer none(L"--endpoints 0");

    std::vector<EndpointSessions> endpoints;
    ASSERT_EQ(listSessions(endpoints), S_OK);
    ASSERT_EQ(endpoints.size(), 2u);
    const EndpointSessions& e0 = endpoints[0];
    const EndpointSessions& e1 = endpoints[1];
    EXPECT_EQ(e0.size(), 2u);
    EXPECT_EQ(e1.size(), 2u);
    ASSERT_TRUE(e0.count(first.pid()) && e0.count(both.pid()));
    ASSERT_TRUE(e1.count(both.pid()) && e1.count(second.pid()));
    EXPECT_EQ(e0.at(first.pid()).state, AudioSessionStateActive);
    EXPECT_EQ(e0.at(both.pid()).state, AudioSessionStateInactive);
    EXPECT_EQ(e1.at(second.pid()).state, AudioSessionStateExpired);
    EXPECT_TRUE(e1.at(second.pid()).systemSounds);
    EXPECT_FALSE(e0.at(first.pid()).systemSounds);

    // A command changes what the next walk sees; a player that ends leaves.
    ASSERT_TRUE(first.process.command("state expired"));
    ASSERT_TRUE(both.process.stop());
    ASSERT_EQ(listSessions(endpoints), S_OK);
    EXPECT_EQ(endpoints[0].at(first.pid()).state, AudioSessionStateExpired);
    EXPECT_EQ(endpoints[0].count(both.pid()), 0u);
    EXPECT_EQ(endpoints[1].count(both.pid()), 0u);

    // The capturing process shows up only when a test asks for it.
    EXPECT_EQ(endpoints[0].count(GetCurrentProcessId()), 0u);
    record().faults.reportSelfSession = 1;
    ASSERT_EQ(listSessions(endpoints), S_OK);
    EXPECT_EQ(endpoints[0].count(GetCurrentProcessId()), 1u);
}

TEST_F(FakeFaults, EnumeratorFailuresReachTheCaller) {
    const HRESULT code = static_cast<HRESULT>(0x80070005);
    for (LONG fault : {fake::enumeratorFactoryFails, fake::enumeratorCreateInstanceFails, fake::enumeratorEndpointsFail}) {
        record().faults.enumeratorFailCode = code;
        record().faults.enumeratorFault = fault;
        std::vector<EndpointSessions> endpoints;
        const HRESULT hr = listSessions(endpoints);
        EXPECT_LT(hr, 0) << "fault " << fault;
        EXPECT_TRUE(endpoints.empty()) << "fault " << fault;
    }
    fake::clearFaults(record());
    std::vector<EndpointSessions> endpoints;
    EXPECT_EQ(listSessions(endpoints), S_OK);
}

TEST_F(FakeFaults, OneEndpointCanFailAlone) {
    StartedPlayer both(L"--endpoints 3");
    for (LONG step : {fake::endpointStepItem, fake::endpointStepActivate, fake::endpointStepSessionEnumerator}) {
        record().faults.endpointFailCode = E_FAIL;
        record().faults.endpointFailMask = fake::endpoint1;
        record().faults.endpointFailStep = step;
        std::vector<EndpointSessions> endpoints;
        ASSERT_EQ(listSessions(endpoints), S_OK);
        ASSERT_EQ(endpoints.size(), 2u);
        EXPECT_EQ(endpoints[0].count(both.pid()), 1u) << "step " << step;
        EXPECT_TRUE(endpoints[1].empty()) << "step " << step;
    }
}

TEST_F(FakeFaults, ActivationFailuresShowAsChosen) {
    const DWORD self = GetCurrentProcessId();
    const HRESULT code = static_cast<HRESULT>(0x88890004);
    struct Case {
        LONG mode;
        LONG selector;
        HRESULT call, get, result;
        bool completes;
    };
    const Case cases[] = {
        {fake::activationResultFails, static_cast<LONG>(self), S_OK, S_OK, code, true},
        {fake::activationResultFails, fake::anyPid, S_OK, S_OK, code, true},
        {fake::activationRefused, fake::anyPid, code, E_FAIL, E_FAIL, false},
        {fake::activationGetResultFails, static_cast<LONG>(self), S_OK, code, E_FAIL, true},
        {fake::activationNoInterface, static_cast<LONG>(self), S_OK, S_OK, S_FALSE, true},
    };
    for (const Case& c : cases) {
        record().faults.activationFailCode = c.mode == fake::activationNoInterface ? S_FALSE : code;
        record().faults.activationFailMode = c.mode;
        record().faults.activationFailPid = c.selector;
        Activation a = activate(self);
        EXPECT_EQ(a.callResult, c.call) << "mode " << c.mode;
        EXPECT_EQ(a.completed, c.completes) << "mode " << c.mode;
        if (c.completes) {
            EXPECT_EQ(a.getResult, c.get) << "mode " << c.mode;
            EXPECT_EQ(a.activateResult, c.result) << "mode " << c.mode;
        }
        EXPECT_EQ(a.client, nullptr) << "mode " << c.mode;
    }
    // A fault for another pid leaves ours alone.
    record().faults.activationFailMode = fake::activationResultFails;
    record().faults.activationFailPid = static_cast<LONG>(self + 4);
    Activation fine = activate(self);
    ASSERT_NE(fine.client, nullptr);
    fine.client->Release();
}

TEST_F(FakeFaults, HeldActivationCompletesOnlyOnceReleased) {
    record().faults.activationDelayMs = fake::delayForever;
    record().faults.activationDelayPid = fake::anyPid;
    Activation held = activate(GetCurrentProcessId(), 600);
    EXPECT_EQ(held.callResult, S_OK);
    EXPECT_FALSE(held.completed);
    const LONG completedBefore = record().accounting.activationsCompleted;
    fake::clearFaults(record());
    // The late completion still happens, on nobody's wait.
    for (int i = 0; i < 500 && record().accounting.activationsCompleted == completedBefore; ++i) Sleep(10);
    EXPECT_EQ(record().accounting.activationsCompleted, completedBefore + 1);
}

TEST_F(FakeFaults, GetBufferFailsTheChosenNumberOfTimes) {
    StartedPlayer tone(L"--freq 700");
    Stream stream;
    ASSERT_TRUE(stream.open(activate(tone.pid()).client));
    record().faults.getBufferFailCode = AUDCLNT_E_DEVICE_INVALIDATED;
    record().faults.getBufferFailures = 3;
    record().faults.getBufferFailPid = static_cast<LONG>(tone.pid());
    int failures = 0, packets = 0;
    for (int tries = 0; tries < 200 && packets < 5; ++tries) {
        WaitForSingleObject(stream.event, 100);
        BYTE* data;
        UINT32 frames;
        DWORD flags;
        const HRESULT hr = stream.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
        if (hr == AUDCLNT_E_DEVICE_INVALIDATED) {
            ++failures;
            EXPECT_EQ(data, nullptr);
        } else if (hr == S_OK) {
            ++packets;
            stream.capture->ReleaseBuffer(frames);
        }
    }
    EXPECT_EQ(failures, 3);
    EXPECT_EQ(packets, 5);
}

TEST_F(FakeFaults, ClientCallsFailAtTheChosenStep) {
    for (LONG step : {fake::clientStepInitialize, fake::clientStepSetEventHandle, fake::clientStepGetService,
                      fake::clientStepStart}) {
        record().faults.clientFailCode = E_OUTOFMEMORY;
        record().faults.clientFailStep = step;
        record().faults.clientFailPid = fake::anyPid;
        Stream stream;
        EXPECT_FALSE(stream.open(activate(GetCurrentProcessId()).client)) << "step " << step;
        const bool reachedService = step > fake::clientStepGetService;
        EXPECT_EQ(stream.capture != nullptr, reachedService) << "step " << step;
    }
}

}  // namespace
