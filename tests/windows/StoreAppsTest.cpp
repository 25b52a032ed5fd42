// The shipped exe given a Store app's window, which the frame host owns; the
// app's process, no descendant of it, owns a CoreWindow inside.
//
//   this test -> F "ApplicationFrameHost.exe" (440 Hz, owns a window)
//             -> P (550 Hz, owns a Windows.UI.Core.CoreWindow inside F's window)
//             -> S "ApplicationFrameHost.exe" (660 Hz, owns a window, no app inside)
//
// F and S run under that name in a case of its own: Windows ignores case in
// file names, and so must the look-up.

#include "FakeWorld.h"

#include <array>

namespace {

enum Member { F, P, S, nobody };

class StoreApps : public FakeWorld {};

TEST_F(StoreApps, TheAppInsideTheFrameIsHeardAndNotTheFrameHost) {
    const std::wstring frameHost = playerPath(L"applicationFrameHost.EXE");
    std::vector<Players> players;
    players.push_back(startPlayers(L"440 8192 window", 1, frameHost));
    players.push_back(startPlayers(L"550 8192 inside " + players[F].windows[0], 1));
    players.push_back(startPlayers(L"660 8192 window", 1, frameHost));
    ASSERT_NE(players[P].windows[0], L"0") << "no CoreWindow inside the frame";

    const struct {
        Member window, self;
        std::array<double, 3> levels;  // of F, P, S in the stream
    } rows[] = {
        {F, nobody, {0, 0.25, 0}},  // the app, not its frame host
        {S, nobody, {0, 0, 0.25}},  // no app inside: the frame host, as for any window
        {F, P, {0, 0, 0}},          // the caller is the app itself
    };
    const std::array<double, 3> hz{440, 550, 660};
    for (const auto& row : rows) {
        const std::wstring arguments = L"--window " + players[row.window].windows[0] +
                                       (row.self == nobody ? L"" : L" --self " + std::to_wstring(players[row.self].pids[0]));
        SCOPED_TRACE(arguments);
        SetUp();
        auto program = startProgram(arguments);
        ASSERT_TRUE(program->waitReady(30000)) << program->error();
        std::vector<float> samples(110 * 960);
        ASSERT_TRUE(program->read(samples.data(), samples.size() * sizeof(float), 20000));
        // The first blocks go out before the sources' first packets are in.
        samples.erase(samples.begin(), samples.begin() + 20 * 960);
        for (Member who : {F, P, S}) EXPECT_NEAR(steadyLevel(samples, hz[who]), row.levels[who], 0.02) << hz[who] << " Hz";
        program->closeInput();
        EXPECT_EQ(program->waitExit(10000), 0) << "standard input closed";
    }
}

// An app minimised when the program started has its CoreWindow outside the
// frame, and the frame host is heard until the app is restored into it; the
// app stays heard when it is minimised again. The
// scans are counted by the frame host's client, lost at once each time a
// scan opens it anew: a scan that missed the restored app would open the
// frame host's again.
TEST_F(StoreApps, AnAppRestoredLaterIsFoundAtTheNextScan) {
    Players frame = startPlayers(L"440 8192 window", 1, playerPath(L"ApplicationFrameHost.exe"));
    Players app = startPlayers(L"550 8192 outside", 1);
    const DWORD host = frame.pids[0];
    auto program = startProgram(L"--window " + frame.windows[0]);
    ASSERT_TRUE(program->waitReady(30000)) << program->error();
    ASSERT_EQ(captures(host), 1) << "the frame host is the target while no app is inside";
    fake::Slot& hostSession = *fake::findSlot(fakeRecord(), host);
    InterlockedIncrement(&hostSession.invalidations);
    ASSERT_TRUE(eventually([&] { return captures(host) == 2; })) << "no scan replaced the frame host's client";

    // Restored just after that scan; the next begins 2 s after it ended.
    const auto handle = [](const std::wstring& text) {
        return reinterpret_cast<HWND>(_wcstoui64(text.c_str(), nullptr, 10));
    };
    ASSERT_TRUE(SetParent(handle(app.windows[0]), handle(frame.windows[0]))) << GetLastError();
    InterlockedIncrement(&hostSession.invalidations);
    const ULONGLONG restored = GetTickCount64();
    ASSERT_TRUE(eventually([&] { return captures(app.pids[0]) == 1; })) << "the restored app was never found";
    RecordProperty("foundMs", static_cast<int>(GetTickCount64() - restored));
    EXPECT_EQ(captures(host), 2) << "a scan went by without finding the restored app";
    EXPECT_EQ(counts().running, 1) << "the frame host's client was not stopped";

    // The stream went unread meanwhile: the blocks the mixer owes come first.
    std::vector<float> samples(90 * 960);
    for (int tries = 0; tries < 30 && steadyLevel(samples, 550) < 0.2; ++tries) {
        ASSERT_TRUE(program->read(samples.data(), samples.size() * sizeof(float), 20000));
    }
    ASSERT_TRUE(program->read(samples.data(), samples.size() * sizeof(float), 20000));
    EXPECT_NEAR(steadyLevel(samples, 550), 0.25, 0.02) << "the app as heard";

    // Minimised again, it is still the app the window shows: the scan that
    // replaces its lost client opens the app's again, not the frame host's.
    ASSERT_TRUE(SetParent(handle(app.windows[0]), nullptr)) << GetLastError();
    InterlockedIncrement(&fake::findSlot(fakeRecord(), app.pids[0])->invalidations);
    EXPECT_TRUE(eventually([&] { return captures(app.pids[0]) == 2; })) << "the minimised app was dropped";
    EXPECT_EQ(captures(host), 2) << "the frame host became the target again";
    program->closeInput();
    EXPECT_EQ(program->waitExit(10000), 0) << "standard input closed";
}

}  // namespace
