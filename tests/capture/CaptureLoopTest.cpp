// The capture worker against a fake capture client, and stopping a source:
// what reaches the FIFO, how failures and empty packets are met, that the
// worker keeps polling without a signal and ends promptly on stop, and that
// stop lets go of everything in the right order, once.

#include "windows/CaptureSource.h"
#include "windows/SourceMap.h"
#include "fakes/FakePlatformTest.h"

#include <chrono>

namespace {

class CaptureLoopTest : public FakePlatformTest {
protected:
    // A source in the state opening leaves it in, with a running worker.
    std::unique_ptr<CaptureSource> startSource(std::uint32_t processId = 42,
                                               std::size_t prefilledSamples = 0) {
        auto source = std::make_unique<CaptureSource>(processId);
        source->audioClient = ComPtr<IAudioClient>(new FakeAudioClient(clientRecord, script));
        source->captureClient = ComPtr<IAudioCaptureClient>(new FakeCaptureClient(script));
        source->captureEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        clientRecord->registeredEvent = source->captureEvent.get();
        for (std::size_t i = 0; i < prefilledSamples; ++i) {
            source->fifo.append(static_cast<float>(i));
        }
        source->running.store(true);
        source->worker = std::thread(&CaptureSource::captureLoop, source.get());
        return source;
    }

    static std::size_t fifoSize(CaptureSource& source) {
        std::lock_guard<std::mutex> guard(source.lock);
        return source.fifo.size();
    }

    static std::vector<float> takeAll(CaptureSource& source) {
        std::lock_guard<std::mutex> guard(source.lock);
        std::vector<float> all;
        while (source.fifo.size() > 0) {
            all.push_back(source.fifo.front());
            source.fifo.popFront();
        }
        return all;
    }

    std::vector<UINT32> released() {
        std::lock_guard<std::mutex> guard(script->lock);
        return script->releasedFrames;
    }
};

TEST_F(CaptureLoopTest, PacketsArriveAsExactFloatsAndSilenceAsZeros) {
    script->add(CaptureStep::packet({-32768, 32767, 16384, 0}));
    script->add(CaptureStep::packet({1000, -1000, 2000, -2000}, AUDCLNT_BUFFERFLAGS_SILENT));
    // Other flags do not matter.
    script->add(CaptureStep::packet({-16384, 1}, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY));
    auto source = startSource();
    SetEvent(source->captureEvent.get());
    ASSERT_TRUE(eventually([&] { return fifoSize(*source) == 10; }));

    const std::vector<float> expected = {-1.0f, 0.999969482421875f, 0.5f, 0.0f, 0.0f,
                                         0.0f,  0.0f,               0.0f, -0.5f, 0x1p-15f};
    EXPECT_EQ(takeAll(*source), expected);
    EXPECT_TRUE(eventually([&] { return released().size() == 3; }));
    EXPECT_EQ(released(), (std::vector<UINT32>{2, 2, 1}));
    source->stop();
}

TEST_F(CaptureLoopTest, TheCapKeepsTheNewestWholeFrames) {
    script->add(CaptureStep::packet(std::vector<std::int16_t>(960, 8192)));
    auto source = startSource(42, 9000);
    SetEvent(source->captureEvent.get());
    ASSERT_TRUE(eventually([&] { return released().size() == 1; }));
    source->stop();
    ASSERT_EQ(source->fifo.size(), 9600u);
    EXPECT_EQ(source->fifo.front(), 360.0f);  // was sample 360: a left sample
}

// A failure of either call ends the drain; the next try comes only after the
// next wait, which without a signal is the 100 ms time-out.
TEST_F(CaptureLoopTest, FailuresAreRetriedAfterTheNextWait) {
    struct Case {
        const char* name;
        CaptureStep failure;
    };
    const Case cases[] = {
        {"GetNextPacketSize fails", CaptureStep::sizeFails()},
        {"GetBuffer fails", CaptureStep::bufferFails(480)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script = std::make_shared<CaptureScript>();
        script->add(c.failure);
        script->add(CaptureStep::packet({100, 200}));
        auto source = startSource();
        ASSERT_TRUE(eventually([&] { return fifoSize(*source) == 2; }));
        source->stop();

        std::lock_guard<std::mutex> guard(script->lock);
        ASSERT_EQ(script->failureTicks.size(), 1u);
        // The size call right after the failure came after a wait, not at once.
        auto retry = static_cast<std::size_t>(script->failureSizeCalls[0]);
        ASSERT_LT(retry, script->sizeCallTicks.size());
        EXPECT_GE(script->sizeCallTicks[retry] - script->failureTicks[0], 50u) << "retried without waiting";
        // A failed GetBuffer is not followed by ReleaseBuffer.
        EXPECT_EQ(script->releasesWithoutBuffer, 0);
        EXPECT_EQ(script->releasedFrames, (std::vector<UINT32>{1}));
    }
}

TEST_F(CaptureLoopTest, AnEmptyPacketIsReleasedWithZeroAndTheDrainGoesOn) {
    script->add(CaptureStep::packet({}));
    script->add(CaptureStep::packet({300, 400}));
    auto source = startSource(42, 9600);
    SetEvent(source->captureEvent.get());
    ASSERT_TRUE(eventually([&] { return released().size() == 2; }));
    source->stop();
    EXPECT_EQ(released(), (std::vector<UINT32>{0, 1}));
    ASSERT_EQ(source->fifo.size(), 9600u);
    EXPECT_EQ(source->fifo.front(), 2.0f);  // only the real frame pushed one out
}

TEST_F(CaptureLoopTest, WorkerWithoutSignalsKeepsPollingAndStopsPromptly) {
    auto source = startSource();
    // Nothing ever signals the event: only the time-out wakes the worker.
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> guard(script->lock);
        return script->sizeCalls >= 3;
    }));
    auto before = std::chrono::steady_clock::now();
    source->stop();
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_FALSE(source->running.load());
    EXPECT_FALSE(source->worker.joinable());
    // About 100 ms is expected; the bound only catches a stop that hangs.
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(CaptureLoopTest, StopReleasesEverythingOnceInOrderAndKeepsTheSamples) {
    script->add(CaptureStep::packet({8, 16}));
    auto source = startSource();
    SetEvent(source->captureEvent.get());
    ASSERT_TRUE(eventually([&] { return fifoSize(*source) == 2; }));
    clearFakeLog();

    source->stop();
    EXPECT_EQ(fakeLog(), (std::vector<std::string>{"audioClient.Stop", "captureClient.Release=0",
                                                   "audioClient.Release=0"}));
    ASSERT_TRUE(clientRecord->eventOpenAtDestruction.has_value());
    EXPECT_TRUE(*clientRecord->eventOpenAtDestruction) << "event closed before the client that signals it";
    EXPECT_FALSE(source->audioClient);
    EXPECT_FALSE(source->captureClient);
    EXPECT_FALSE(source->captureEvent);
    EXPECT_EQ(source->processId, 42u);
    EXPECT_EQ(source->fifo.size(), 2u);

    // A second stop has nothing left to do.
    clearFakeLog();
    source->stop();
    source.reset();
    EXPECT_TRUE(fakeLog().empty());
}

TEST_F(CaptureLoopTest, StoppingANeverOpenedSourceTouchesNothing) {
    CaptureSource source(5);
    source.stop();
    source.stop();
    EXPECT_FALSE(source.running.load());
    EXPECT_TRUE(fakeLog().empty());
}

TEST_F(CaptureLoopTest, DestroyingTheSourceMapStopsEverySource) {
    std::vector<std::shared_ptr<AudioClientRecord>> records;
    {
        SourceMap sources;
        for (std::uint32_t pid : {30u, 10u, 20u}) {
            clientRecord = std::make_shared<AudioClientRecord>();
            records.push_back(clientRecord);
            sources.emplace(pid, startSource(pid));
        }
        EXPECT_EQ(fakeLiveObjects(), 6);
    }
    // Every worker joined and every client released by the time it returned.
    EXPECT_EQ(fakeLiveObjects(), 0);
    EXPECT_EQ(fakeLogStartingWith("audioClient.Stop").size(), 3u);
    for (const auto& record : records) {
        EXPECT_EQ(record->eventOpenAtDestruction, std::optional<bool>(true));
    }
}

}  // namespace
