#include "fakes/FakePlatformTest.h"

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Handles the runtimes open once and keep would otherwise show up as leaks of
// whichever test happened to come first: the first thread and COM apartment,
// GoogleTest's per-thread trace storage, whose first use on a thread starts a
// watcher holding a handle to that thread, and the threads library's first
// contended mutex, which leaves an event behind for the rest of the run.
class WarmUp : public testing::Environment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        std::thread([] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
        }).join();
        CloseHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        {
            SCOPED_TRACE("warm-up");
        }
        for (int i = 0; i < 3; ++i) {
            std::mutex contended;
            contended.lock();
            std::thread waiter([&] {
                contended.lock();
                contended.unlock();
            });
            Sleep(10);
            contended.unlock();
            waiter.join();
        }
        // Threads starting and ending at once contend for the threads
        // library's own internal lock.
        for (int round = 0; round < 5; ++round) {
            std::vector<std::thread> burst;
            for (int i = 0; i < 16; ++i) {
                burst.emplace_back([] { Sleep(1); });
            }
            for (std::thread& thread : burst) {
                thread.join();
            }
        }
        // Wine's own start-up work in the process goes on for a moment in
        // threads of its own: wait until the count holds still.
        int last = openHandleCount();
        for (int stableFor = 0, waited = 0; stableFor < 400 && waited < 5000; waited += 50) {
            Sleep(50);
            int now = openHandleCount();
            stableFor = now == last ? stableFor + 50 : 0;
            last = now;
        }
    }
};

const testing::Environment* const warmUp = testing::AddGlobalTestEnvironment(new WarmUp);

}  // namespace

void FakePlatformTest::SetUp() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    clearFakeLog();
    planActivation(ActivationPlan{});
    activateAudioInterfaceAsync = &fakeActivateAudioInterfaceAsync;
    handlesAtStart = openHandleCount();
    ASSERT_GT(handlesAtStart, 0) << "the handle table cannot be read";
    ASSERT_EQ(fakeLiveObjects(), 0);
}

void FakePlatformTest::TearDown() {
    finishActivations();
    activateAudioInterfaceAsync = &ActivateAudioInterfaceAsync;
    EXPECT_EQ(fakeLiveObjects(), 0) << "fake Core Audio objects still referenced";
    EXPECT_EQ(openHandleCount(), handlesAtStart) << "kernel handles left open";
}

void FakePlatformTest::planClient(OpenStep failing) {
    ActivationPlan plan;
    plan.activated = static_cast<IAudioClient*>(new FakeAudioClient(clientRecord, script, failing));
    planActivation(plan);
}

bool eventually(const std::function<bool()>& done, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds) {
            return false;
        }
        Sleep(2);
    }
    return true;
}
