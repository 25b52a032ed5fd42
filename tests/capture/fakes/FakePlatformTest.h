#pragma once
// Fixture for every Windows capture test: the thread in the multithreaded
// apartment, the fake activation installed in place of the system's, an
// empty fake log; and at the end, the system's activation back, no fake
// object alive and no more kernel handles open than at the start.

#include "fakes/FakeActivation.h"
#include "fakes/FakeAudioClient.h"
#include "fakes/OpenHandles.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class FakePlatformTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fake audio client as the next activation's result, recording into
    // `record` and handing out capture clients that play `script`.
    void planClient(OpenStep failing = OpenStep::none);

    std::shared_ptr<AudioClientRecord> clientRecord = std::make_shared<AudioClientRecord>();
    std::shared_ptr<CaptureScript> script = std::make_shared<CaptureScript>();

private:
    int handlesAtStart = 0;
};

// Waits, polling, until `done` holds or `milliseconds` have passed; returns
// whether it holds. Bounds are generous: they only keep a broken test from
// hanging, they do not measure anything.
bool eventually(const std::function<bool()>& done, DWORD milliseconds = 10000);
