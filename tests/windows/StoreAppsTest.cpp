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

}  // namespace
