// The fake's accounting: the black-box tests read it after the program has
// ended to tell whether every client was stopped and released and every
// event closed, so it has to balance exactly when a client behaves.

#include "FakeTestSupport.h"

#include <gtest/gtest.h>

using namespace faketest;

namespace {

#define DELTA(field) (after.field - before.field)

// Events that earlier tests closed are noticed by the fake's periodic sweep,
// up to about a second later on a busy machine. Wait for them before taking
// the first snapshot, so that they are not counted as this test's.
fake::Accounting settledAccounting() {
    fake::Accounting now = fake::snapshotAccounting(record());
    for (int i = 0; i < 500 && now.eventsRegistered != now.eventsClosed; ++i) {
        Sleep(10);
        now = fake::snapshotAccounting(record());
    }
    return now;
}

TEST(FakeAccounting, BalancesAfterEverythingIsReleased) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    StartedPlayer tone(L"--endpoints 3");
    const fake::Accounting before = settledAccounting();
    {
        Stream stream;
        ASSERT_TRUE(stream.open(activate(tone.pid()).client));
        captureFor(stream, 0.3);
        stream.close();  // capture client, audio client, then the event
    }
    IMMDeviceEnumerator* enumerator = nullptr;
    ASSERT_EQ(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                               reinterpret_cast<void**>(&enumerator)),
              S_OK);
    IMMDeviceCollection* collection = nullptr;
    ASSERT_EQ(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &collection), S_OK);
    IMMDevice* device = nullptr;
    ASSERT_EQ(collection->Item(1, &device), S_OK);
    IAudioSessionManager2* manager = nullptr;
    ASSERT_EQ(device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&manager)),
              S_OK);
    IAudioSessionEnumerator* sessions = nullptr;
    ASSERT_EQ(manager->GetSessionEnumerator(&sessions), S_OK);
    IAudioSessionControl* control = nullptr;
    ASSERT_EQ(sessions->GetSession(0, &control), S_OK);
    control->Release();
    sessions->Release();
    manager->Release();
    device->Release();
    collection->Release();
    // Still holding the enumerator: the accounting must show it.
    fake::Accounting after = fake::snapshotAccounting(record());
    EXPECT_EQ(DELTA(enumeratorsCreated) - DELTA(enumeratorsDestroyed), 1);
    enumerator->Release();
    Sleep(700);  // the engine's periodic sweep notices closed events too
    after = fake::snapshotAccounting(record());

    EXPECT_EQ(DELTA(audioClientsCreated), 1);
    EXPECT_EQ(DELTA(audioClientsDestroyed), 1);
    EXPECT_EQ(DELTA(audioClientStarts), 1);
    EXPECT_EQ(DELTA(audioClientStops), 1);
    EXPECT_EQ(DELTA(audioClientsDestroyedRunning), 0);
    EXPECT_EQ(DELTA(captureClientsCreated), 1);
    EXPECT_EQ(DELTA(captureClientsDestroyed), 1);
    EXPECT_EQ(DELTA(eventsRegistered), 1);
    EXPECT_EQ(DELTA(eventsClosed), 1);
    EXPECT_EQ(DELTA(eventsClosedEarly), 0);
    EXPECT_EQ(DELTA(operationsCreated), DELTA(operationsDestroyed));
    EXPECT_EQ(DELTA(handlerReferencesTaken), DELTA(handlerReferencesDropped));
    EXPECT_GT(DELTA(packetsDelivered), 10);
    struct Pair {
        const char* name;
        LONG created, destroyed;
    };
    const Pair pairs[] = {
        {"enumerators", DELTA(enumeratorsCreated), DELTA(enumeratorsDestroyed)},
        {"collections", DELTA(collectionsCreated), DELTA(collectionsDestroyed)},
        {"devices", DELTA(devicesCreated), DELTA(devicesDestroyed)},
        {"session managers", DELTA(sessionManagersCreated), DELTA(sessionManagersDestroyed)},
        {"session enumerators", DELTA(sessionEnumeratorsCreated), DELTA(sessionEnumeratorsDestroyed)},
        {"session controls", DELTA(sessionControlsCreated), DELTA(sessionControlsDestroyed)},
        {"class factories", DELTA(classFactoriesCreated), DELTA(classFactoriesDestroyed)},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(p.created, 1) << p.name;
        EXPECT_EQ(p.destroyed, 1) << p.name;
    }
}

TEST(FakeAccounting, ShowsWhatAClientGotWrong) {
    const fake::Accounting before = settledAccounting();
    // Released while running, and its event closed before the client went.
    {
        Stream stream;
        ASSERT_TRUE(stream.open(activate(GetCurrentProcessId()).client));
        CloseHandle(stream.event);
        stream.event = nullptr;
        stream.capture->Release();
        stream.capture = nullptr;
        stream.client->Release();
        stream.client = nullptr;
    }
    // Registered, never closed.
    Stream leaky;
    ASSERT_TRUE(leaky.open(activate(GetCurrentProcessId()).client));
    HANDLE kept = leaky.event;
    leaky.event = nullptr;
    leaky.close();
    Sleep(700);
    const fake::Accounting after = fake::snapshotAccounting(record());
    EXPECT_EQ(DELTA(audioClientsDestroyedRunning), 1);
    EXPECT_EQ(DELTA(eventsRegistered), 2);
    EXPECT_EQ(DELTA(eventsClosed), 1);
    EXPECT_EQ(DELTA(eventsClosedEarly), 1);
    EXPECT_EQ(DELTA(audioClientsCreated), DELTA(audioClientsDestroyed));
    CloseHandle(kept);
}

}  // namespace
