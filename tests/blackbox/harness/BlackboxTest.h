#pragma once
// The fixture every black-box scenario derives from. Each test gets a fake
// platform namespace of its own (so tests could run side by side in one Wine
// prefix), with its control record created before anything is started and
// kept open to read the fake's accounting after the program has ended. It
// starts the shipped exe and the players as a parent would, and ends them all
// when the test ends.
//
// Threads: the test's own thread only.

#include "FakeControl.h"
#include "harness/ProgramUnderTest.h"
#include "PlayerProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace blackbox {

// Paths of the programs, made usable under Wine (build paths are Unix paths).
std::wstring exePath();
std::wstring playerPath();
std::wstring launcherPath();
std::wstring recordWavPath();
std::wstring scratchFolder();
std::wstring windowsPath(const std::string& hostPath);

// Bounds generous enough for a shared, busy 2-core machine under Wine.
inline constexpr DWORD readyBoundMs = 30000;
inline constexpr DWORD exitBoundMs = 10000;
inline constexpr DWORD announceBoundMs = 20000;

// A tone's expected amplitude in the program's float stream for a player
// level in 16-bit units.
inline double amplitudeOf(long level16) { return level16 / 32768.0; }

// What a test may ask a player to do; turned into the player's arguments.
struct PlayerSetup {
    long frequency = 440;
    long level = 8192;
    const wchar_t* state = L"active";  // active, inactive, expired
    bool systemSounds = false;
    int endpoints = 1;          // 1: endpoint 0, 2: endpoint 1, 3: both
    bool window = false;
    bool playing = true;
    std::vector<PlayerSetup> children;  // child players, each started by this one
};
// The player's command-line tail for a setup (children included).
std::wstring playerArguments(const PlayerSetup& setup);

class BlackboxTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    fake::ControlRecord& control() { return *view.get(); }
    const std::wstring& fakeNamespace() const { return ns; }

    // The exe with these arguments, under the fake platform of this test.
    std::unique_ptr<ProgramUnderTest> startProgram(const std::vector<std::wstring>& args,
                                                   const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});
    // The exe started and past "ready\n", its reader running.
    std::unique_ptr<ProgramUnderTest> startReadyProgram(const std::vector<std::wstring>& args);

    // A player (or a copy of it under another file name) past its announcement.
    player::PlayerProcess& startPlayer(const PlayerSetup& setup, const std::wstring& exe = L"");
    // A player.exe started by a launcher copied as `parentName`, with a
    // session announced for the launcher too (as `parentSetup` says): a tree
    // whose parent and child have different executable names. Returns the
    // player (the child); the launcher's pid is `parentPid`.
    player::PlayerProcess& startUnderParentNamed(const std::wstring& parentName, const PlayerSetup& parentSetup,
                                                 const PlayerSetup& childSetup, DWORD& parentPid);
    // A copy of the player program under `fileName` in this test's folder.
    std::wstring playerCopy(const std::wstring& fileName);

    // Waits until `blocks` more blocks have arrived than now; the samples of
    // those blocks.
    std::vector<float> listen(ProgramUnderTest& program, std::size_t blocks);

    // Audio clients the fake has handed out and not yet seen released: the
    // probe's is released at once, so while the program runs this is the
    // number of its capture sources.
    LONG liveClients();
    // Sets a fault field; the fake reads faults as it goes.
    void setFault(volatile LONG& field, LONG value) { InterlockedExchange(&field, value); }

private:
    std::wstring ns;
    fake::ControlView view;
    std::vector<std::unique_ptr<player::PlayerProcess>> players;
    std::vector<int> claimedSlots;
};

// Waits until no block has arrived for `quietMs` (a scan holds the stream).
bool waitForStall(const ProgramUnderTest& program, DWORD quietMs, DWORD boundMs);

// Watches the stream from block `from` on, in stretches of `window` blocks,
// until one carries `frequency` at `level` or more; the index just past that
// stretch, or nothing at the bound.
std::optional<std::size_t> waitForTone(const ProgramUnderTest& program, std::size_t from, double frequency,
                                       double level, DWORD boundMs, std::size_t window = 10);
// The same for exact silence (every value 0.0) in a whole stretch.
std::optional<std::size_t> waitForSilence(const ProgramUnderTest& program, std::size_t from, DWORD boundMs,
                                          std::size_t window = 10);

// Tone level in the left channel (the players play both channels alike).
double toneLevel(std::span<const float> samples, double frequency);
// Largest magnitude over both channels.
double peakOf(std::span<const float> samples);

}  // namespace blackbox
