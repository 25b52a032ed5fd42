// Opening a source against a fake activation and fake clients: the exact
// stream it asks for, the order of its steps, a running source on success,
// and nothing left behind when any step fails.

#include "windows/OpenCaptureSource.h"
#include "fakes/FakePlatformTest.h"

namespace {

class OpenCaptureSourceTest : public FakePlatformTest {
protected:
    // The calls made on the clients and the references that reached zero,
    // in order; the reference traffic of the activation itself is left out.
    static std::vector<std::string> clientHistory() {
        std::vector<std::string> history;
        for (const std::string& entry : fakeLog()) {
            bool call = entry.rfind("audioClient.", 0) == 0 && entry.find(".AddRef") == std::string::npos &&
                        entry.find(".Release") == std::string::npos;
            bool gone = entry == "audioClient.Release=0" || entry == "captureClient.Release=0";
            if (call || gone) {
                history.push_back(entry);
            }
        }
        return history;
    }
};

TEST_F(OpenCaptureSourceTest, FailedActivationYieldsNothing) {
    ActivationPlan plan;
    plan.refuse = static_cast<HRESULT>(0x80070057);
    planActivation(plan);
    EXPECT_EQ(openCaptureSource(77), nullptr);
    EXPECT_TRUE(clientHistory().empty());
}

struct FailingStep {
    const char* name;
    OpenStep step;
    std::vector<std::string> history;
    bool eventRegistered;
};

class OpenCaptureSourceFailure : public OpenCaptureSourceTest, public testing::WithParamInterface<FailingStep> {};

TEST_P(OpenCaptureSourceFailure, StopsReleasesAndClosesEverythingItObtained) {
    const FailingStep& failing = GetParam();
    planClient(failing.step);
    EXPECT_EQ(openCaptureSource(77), nullptr);

    EXPECT_EQ(clientHistory(), failing.history);
    EXPECT_EQ(clientRecord->registeredEvent != nullptr, failing.eventRegistered);
    if (failing.eventRegistered) {
        EXPECT_EQ(clientRecord->eventOpenAtDestruction, std::optional<bool>(true))
            << "event closed before the client that signals it";
    }
    // No live fake and no open handle: checked by the fixture.
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, OpenCaptureSourceFailure,
    testing::Values(
        FailingStep{"Initialize",
                    OpenStep::Initialize,
                    {"audioClient.Initialize", "audioClient.Stop", "audioClient.Release=0"},
                    false},
        FailingStep{"SetEventHandle",
                    OpenStep::SetEventHandle,
                    {"audioClient.Initialize", "audioClient.SetEventHandle", "audioClient.Stop",
                     "audioClient.Release=0"},
                    true},
        FailingStep{"GetService",
                    OpenStep::GetService,
                    {"audioClient.Initialize", "audioClient.SetEventHandle", "audioClient.GetService",
                     "audioClient.Stop", "audioClient.Release=0"},
                    true},
        FailingStep{"Start",
                    OpenStep::Start,
                    {"audioClient.Initialize", "audioClient.SetEventHandle", "audioClient.GetService",
                     "audioClient.Start", "audioClient.Stop", "captureClient.Release=0", "audioClient.Release=0"},
                    true}),
    [](const testing::TestParamInfo<FailingStep>& info) { return std::string(info.param.name); });

TEST_F(OpenCaptureSourceTest, AsksForTheFixedEventDrivenLoopbackStream) {
    planClient(OpenStep::Initialize);  // the arguments are all this test needs
    EXPECT_EQ(openCaptureSource(77), nullptr);

    ASSERT_TRUE(clientRecord->initialize.has_value());
    const auto& init = *clientRecord->initialize;
    EXPECT_EQ(init.shareMode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(init.streamFlags, 0x80060000u);
    EXPECT_EQ(init.bufferDuration, 200000);
    EXPECT_EQ(init.periodicity, 0);
    EXPECT_FALSE(init.sessionGuidGiven);
    ASSERT_TRUE(init.format.has_value());
    EXPECT_EQ(init.format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(init.format->nChannels, 2);
    EXPECT_EQ(init.format->nSamplesPerSec, 48000u);
    EXPECT_EQ(init.format->nAvgBytesPerSec, 192000u);
    EXPECT_EQ(init.format->nBlockAlign, 4);
    EXPECT_EQ(init.format->wBitsPerSample, 16);
    EXPECT_EQ(init.format->cbSize, 0);
}

TEST_F(OpenCaptureSourceTest, SuccessGivesARunningSourceThatCaptures) {
    script->add(CaptureStep::packet({16384, -16384}));
    planClient();
    std::unique_ptr<CaptureSource> source = openCaptureSource(77);
    ASSERT_NE(source, nullptr);

    EXPECT_EQ(source->processId, 77u);
    EXPECT_TRUE(source->running.load());
    EXPECT_TRUE(source->worker.joinable());
    EXPECT_TRUE(source->audioClient);
    EXPECT_TRUE(source->captureClient);
    ASSERT_TRUE(source->captureEvent);
    EXPECT_EQ(clientRecord->registeredEvent, source->captureEvent.get());
    EXPECT_EQ(clientHistory(), (std::vector<std::string>{"audioClient.Initialize", "audioClient.SetEventHandle",
                                                         "audioClient.GetService", "audioClient.Start"}));
    // The registered event is auto-reset: one signal wakes one wait.
    SetEvent(source->captureEvent.get());
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> guard(source->lock);
        return source->fifo.size() == 2;
    }));
    {
        std::lock_guard<std::mutex> guard(source->lock);
        EXPECT_EQ(source->fifo.front(), 0.5f);
    }

    clearFakeLog();
    source.reset();
    EXPECT_EQ(clientHistory(),
              (std::vector<std::string>{"audioClient.Stop", "captureClient.Release=0", "audioClient.Release=0"}));
    EXPECT_EQ(clientRecord->eventOpenAtDestruction, std::optional<bool>(true));
}

}  // namespace
