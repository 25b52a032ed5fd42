// The fake's activation and its loopback stream: what the black-box tests
// rely on when they judge the program's sound.

#include "FakeTestSupport.h"

#include <gtest/gtest.h>

using namespace faketest;

namespace {

TEST(FakeActivation, LiveProcessCompletesLaterOnAnotherThread) {
    // A delay on our own pid shows the completion is not made inside the call.
    record().faults.activationDelayMs = 300;
    record().faults.activationDelayPid = static_cast<LONG>(GetCurrentProcessId());
    Activation early = activate(GetCurrentProcessId(), 50);
    EXPECT_EQ(early.callResult, S_OK);
    EXPECT_FALSE(early.completed) << "completion came within 50 ms despite a 300 ms delay";
    fake::clearFaults(record());

    Activation live = activate(GetCurrentProcessId());
    ASSERT_TRUE(live.completed);
    EXPECT_NE(live.completionThread, GetCurrentThreadId());
    EXPECT_EQ(live.getResult, S_OK);
    EXPECT_EQ(live.activateResult, S_OK);
    ASSERT_NE(live.client, nullptr);
    live.client->Release();
    // The fake dropped every reference it took on our handler.
    EXPECT_EQ(live.handlerReferencesAfter, 1);
}

TEST(FakeActivation, ProcessThatDoesNotExistFails) {
    DWORD ended;
    {
        StartedPlayer gone(L"--silent");
        ended = gone.pid();
        ASSERT_TRUE(gone.process.stop());
    }
    for (DWORD pid : {ended, DWORD{0}}) {
        Activation a = activate(pid);
        EXPECT_EQ(a.callResult, S_OK) << pid;
        ASSERT_TRUE(a.completed) << pid;
        EXPECT_LT(a.activateResult, 0) << pid;
        EXPECT_EQ(a.client, nullptr) << pid;
    }
}

TEST(FakeActivation, RefusesAnythingButTheProgramsRequest) {
    struct Case {
        const char* name;
        Request request;
    };
    Request wrongPath;
    wrongPath.path = L"VAD/Process_Loopback";
    Request wrongIid;
    wrongIid.iid = __uuidof(IAudioCaptureClient);
    Request excludeMode;
    excludeMode.mode = 1;
    Request wrongType;
    wrongType.type = 0;
    Request shortBlob;
    shortBlob.blobSize = 8;
    Request notAgile;
    notAgile.agileHandler = false;
    const Case cases[] = {{"path", wrongPath},       {"iid", wrongIid},         {"exclude mode", excludeMode},
                          {"type", wrongType},       {"blob size", shortBlob}, {"handler not agile", notAgile}};
    for (const Case& c : cases) {
        Activation a = activate(GetCurrentProcessId(), 500, c.request);
        EXPECT_LT(a.callResult, 0) << c.name;
        EXPECT_FALSE(a.completed) << c.name;
        EXPECT_EQ(a.handlerReferencesAfter, 1) << c.name << ": a refused request keeps no handler reference";
    }
}

TEST(FakeClient, InitializeAcceptsOnlyTheProgramsStream) {
    const WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    WAVEFORMATEX rate44 = pcm;
    rate44.nSamplesPerSec = 44100;
    rate44.nAvgBytesPerSec = 176400;
    WAVEFORMATEX mono = pcm;
    mono.nChannels = 1;
    mono.nBlockAlign = 2;
    mono.nAvgBytesPerSec = 96000;
    WAVEFORMATEX floats{3 /* WAVE_FORMAT_IEEE_FLOAT */, 2, 48000, 384000, 8, 32, 0};
    struct Case {
        const char* name;
        AUDCLNT_SHAREMODE mode;
        DWORD flags;
        REFERENCE_TIME duration;
        REFERENCE_TIME period;
        const WAVEFORMATEX* format;
    };
    const Case rejected[] = {
        {"exclusive", AUDCLNT_SHAREMODE_EXCLUSIVE, 0x80060000, 200000, 0, &pcm},
        {"no event callback", AUDCLNT_SHAREMODE_SHARED, 0x80020000, 200000, 0, &pcm},
        {"no conversion", AUDCLNT_SHAREMODE_SHARED, 0x00060000, 200000, 0, &pcm},
        {"10 ms buffer", AUDCLNT_SHAREMODE_SHARED, 0x80060000, 100000, 0, &pcm},
        {"periodicity", AUDCLNT_SHAREMODE_SHARED, 0x80060000, 200000, 100000, &pcm},
        {"44100 Hz", AUDCLNT_SHAREMODE_SHARED, 0x80060000, 200000, 0, &rate44},
        {"mono", AUDCLNT_SHAREMODE_SHARED, 0x80060000, 200000, 0, &mono},
        {"float", AUDCLNT_SHAREMODE_SHARED, 0x80060000, 200000, 0, &floats},
    };
    for (const Case& c : rejected) {
        Activation a = activate(GetCurrentProcessId());
        ASSERT_NE(a.client, nullptr);
        EXPECT_LT(a.client->Initialize(c.mode, c.flags, c.duration, c.period, c.format, nullptr), 0) << c.name;
        a.client->Release();
    }
    Activation a = activate(GetCurrentProcessId());
    ASSERT_NE(a.client, nullptr);
    EXPECT_EQ(initializeAsProgram(a.client), S_OK);
    EXPECT_EQ(initializeAsProgram(a.client), AUDCLNT_E_ALREADY_INITIALIZED);
    // Started without an event the stream could never signal anyone.
    EXPECT_EQ(a.client->Start(), AUDCLNT_E_EVENTHANDLE_NOT_SET);
    a.client->Release();
}

TEST(FakeStream, DeliversThePlayersToneAtOneHundredPacketsPerSecond) {
    StartedPlayer tone(L"--freq 1000 --level 8000");
    const fake::Accounting before = fake::snapshotAccounting(record());
    Stream stream;
    ASSERT_TRUE(stream.open(activate(tone.pid()).client));
    Capture got = captureFor(stream, 2.0);
    const fake::Accounting after = fake::snapshotAccounting(record());

    // Packets come on the counter's clock: never ahead of it; behind it only
    // by what a loaded machine delays the last wake-ups.
    const long produced = got.packets + (after.packetsDropped - before.packetsDropped);
    const long due = static_cast<long>(got.seconds * 100);
    EXPECT_LE(produced, due + 2);
    EXPECT_GE(produced, due - 25);
    EXPECT_EQ(got.silentPackets, 0);
    EXPECT_EQ(got.samples.size(), static_cast<size_t>(got.packets) * 960);

    EXPECT_NEAR(toneAmplitude(got.samples, 0, 1000), 8000 / 32768.0, 0.02);
    EXPECT_NEAR(toneAmplitude(got.samples, 1, 1000), 8000 / 32768.0, 0.02);
    EXPECT_LT(toneAmplitude(got.samples, 0, 1500), 0.005);
    EXPECT_NEAR(peak(got.samples, 0), 8000, 100);
}

TEST(FakeStream, CarriesTheTargetsTreeOnlyAndFlagsSilence) {
    // A (500 Hz) with child B (1200 Hz, left only); C (2000 Hz) is unrelated;
    // D has a session but plays nothing.
    StartedPlayer a(L"--freq 500 --child \"--freq 1200 --channels 1\"");
    StartedPlayer c(L"--freq 2000");
    StartedPlayer d(L"--silent");
    ASSERT_EQ(a.process.report().descendants.size(), 1u);
    const DWORD b = a.process.report().descendants[0];

    struct Case {
        const char* name;
        DWORD target;
        std::vector<int> heardLeft;
        std::vector<int> quietLeft;
    };
    const Case cases[] = {
        {"parent hears its child", a.pid(), {500, 1200}, {2000}},
        {"child does not hear its parent", b, {1200}, {500, 2000}},
        {"unrelated player alone", c.pid(), {2000}, {500, 1200}},
    };
    for (const Case& t : cases) {
        Stream stream;
        ASSERT_TRUE(stream.open(activate(t.target).client)) << t.name;
        Capture got = captureFor(stream, 0.5);
        ASSERT_GT(got.packets, 20) << t.name;
        EXPECT_EQ(got.silentPackets, 0) << t.name;
        for (int f : t.heardLeft) EXPECT_GT(toneAmplitude(got.samples, 0, f), 0.2) << t.name << " " << f;
        for (int f : t.quietLeft) EXPECT_LT(toneAmplitude(got.samples, 0, f), 0.005) << t.name << " " << f;
        if (t.target == b) {
            EXPECT_EQ(peak(got.samples, 1), 0) << "left-only tone leaked to the right";
        }
    }

    Stream quiet;
    ASSERT_TRUE(quiet.open(activate(d.pid()).client));
    Capture got = captureFor(quiet, 0.5);
    ASSERT_GT(got.packets, 20);
    EXPECT_EQ(got.silentPackets, got.packets);
    // The buffers of silent packets are garbage: a reader must honour the flag.
    EXPECT_EQ(got.nonZeroSilentPackets, got.packets);

    // Starting to play is heard without reopening the stream.
    ASSERT_TRUE(d.process.command("freq 3000"));
    ASSERT_TRUE(d.process.command("play 1"));
    captureFor(quiet, 0.1);  // what was queued before the change
    Capture playing = captureFor(quiet, 0.5);
    EXPECT_EQ(playing.silentPackets, 0);
    EXPECT_GT(toneAmplitude(playing.samples, 0, 3000), 0.2);
}

}  // namespace
