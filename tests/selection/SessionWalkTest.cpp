// The session walk against fake Core Audio objects: which sessions count,
// what each failing call costs, and that every reference comes back once.

#include "FakeSessionPlatform.h"
#include "windows/SessionWalk.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

ProcessIdSet walk(FakeWorld& world) {
    return gatherSessionProcessIds([&world](IMMDeviceEnumerator** out) { return world.createEnumerator(out); });
}

TEST(SessionWalk, CountsLiveNonSystemSessionsOncePerProcess) {
    FakeWorld world;
    FakeDevice& speakers = world.addEndpoint();
    FakeDevice& headset = world.addEndpoint();
    world.addSession(speakers, 100);
    world.addSession(headset, 100);  // the same process on a second endpoint
    world.addSession(speakers, 200).state = AudioSessionStateInactive;
    world.addSession(speakers, 300).state = AudioSessionStateExpired;
    world.addSession(headset, 400).systemSounds = S_OK;
    world.addSession(headset, 0);
    world.addSession(headset, 500).systemSounds = E_NOTIMPL;  // only S_OK marks system sounds

    EXPECT_EQ(walk(world), (ProcessIdSet{100, 200, 500}));
    EXPECT_EQ(world.unbalanced(), Names{});
}

TEST(SessionWalk, ReleasesEachReferenceOnceInReverseOrderOfAcquisition) {
    FakeWorld world;
    FakeDevice& device = world.addEndpoint();
    world.addSession(device, 100);
    world.addSession(device, 200).state = AudioSessionStateExpired;

    EXPECT_EQ(walk(world), ProcessIdSet{100});
    EXPECT_EQ(world.releases, (Names{"s0.2", "s0", "s1.2", "s1", "sessions0", "manager0", "device0",
                                     "endpoints", "enumerator"}));
    EXPECT_EQ(world.unbalanced(), Names{});
}

// One fault applied to a standard world: endpoint 0 with sessions of 10 and
// 11, endpoint 1 with a session of 20.
struct FaultCase {
    const char* what;
    std::function<void(FakeWorld&)> fault;
    ProcessIdSet found;
};

TEST(SessionWalk, EachFailureCostsWhatItShould) {
    auto session = [](FakeWorld& world, std::size_t device, std::size_t index) -> FakeSessionControl& {
        return *world.sessionsOf(*world.endpoints->devices[device]).sessions[index];
    };
    const FaultCase cases[] = {
        {"no fault", [](FakeWorld&) {}, {10, 11, 20}},
        {"the enumerator cannot be created", [](FakeWorld& w) { w.createResult = REGDB_E_CLASSNOTREG; }, {}},
        {"no endpoint list", [](FakeWorld& w) { w.enumerator->enumResult = E_OUTOFMEMORY; }, {}},
        {"endpoint count fails unwritten", [](FakeWorld& w) {
             w.endpoints->countResult = E_FAIL;
             w.endpoints->countWritten = false;
         }, {}},
        {"endpoint count fails but is written", [](FakeWorld& w) { w.endpoints->countResult = E_FAIL; }, {10, 11, 20}},
        {"Item fails for one endpoint", [](FakeWorld& w) { w.endpoints->failingIndices = {0}; }, {20}},
        {"Activate fails for one endpoint",
         [](FakeWorld& w) { w.endpoints->devices[0]->activateResult = E_ACCESSDENIED; }, {20}},
        {"GetSessionEnumerator fails for one endpoint",
         [](FakeWorld& w) { w.endpoints->devices[1]->manager->enumeratorResult = E_NOTIMPL; }, {10, 11}},
        {"session count fails unwritten", [](FakeWorld& w) {
             FakeSessionEnumerator& sessions = w.sessionsOf(*w.endpoints->devices[0]);
             sessions.countResult = E_FAIL;
             sessions.countWritten = false;
         }, {20}},
        {"a negative session count visits nothing",
         [](FakeWorld& w) { w.sessionsOf(*w.endpoints->devices[0]).countOverride = -3; }, {20}},
        {"a session count beyond the sessions",
         [](FakeWorld& w) { w.sessionsOf(*w.endpoints->devices[0]).countOverride = 4; }, {10, 11, 20}},
        {"GetSession fails for one session",
         [](FakeWorld& w) { w.sessionsOf(*w.endpoints->devices[0]).failingIndices = {0}; }, {11, 20}},
        {"no IAudioSessionControl2", [=](FakeWorld& w) { session(w, 0, 1).queryResult = E_NOINTERFACE; }, {10, 20}},
        {"GetState fails unwritten", [=](FakeWorld& w) {
             session(w, 0, 0).stateResult = E_FAIL;
             session(w, 0, 0).stateWritten = false;
         }, {11, 20}},
        {"GetState fails but is written", [=](FakeWorld& w) { session(w, 0, 0).stateResult = E_FAIL; }, {10, 11, 20}},
        {"GetProcessId fails", [=](FakeWorld& w) { session(w, 1, 0).processIdResult = E_FAIL; }, {10, 11}},
        {"GetProcessId succeeds with 0", [=](FakeWorld& w) { session(w, 0, 1).processId = 0; }, {10, 20}},
    };
    for (const FaultCase& c : cases) {
        FakeWorld world;
        FakeDevice& first = world.addEndpoint();
        FakeDevice& second = world.addEndpoint();
        world.addSession(first, 10);
        world.addSession(first, 11);
        world.addSession(second, 20);
        c.fault(world);

        EXPECT_EQ(walk(world), c.found) << c.what;
        // Also covers the strays: a failed call's out-parameter is not ours.
        EXPECT_EQ(world.unbalanced(), Names{}) << c.what;
        EXPECT_EQ(world.createCalls, 1) << c.what;
    }
}

}  // namespace
