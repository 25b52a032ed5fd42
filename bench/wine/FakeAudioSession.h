#pragma once
// One measuring run's fake audio world: a fake-platform namespace of its own
// (its control record created before anything starts, so the accounting can
// be read after the programs have ended), the players that stand for
// applications playing sound, and the programs measured, all started by this
// parent with pipes as a real parent starts the program.
//
// Threads: the measuring program's main thread only.

#include "ChildProcess.h"
#include "FakeControl.h"
#include "MeasuredProgram.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace measure {

class FakeAudioSession {
public:
    FakeAudioSession();
    FakeAudioSession(const FakeAudioSession&) = delete;
    FakeAudioSession& operator=(const FakeAudioSession&) = delete;
    ~FakeAudioSession() { stopAllPlayers(); }

    bool ready() const { return record != nullptr; }
    fake::Record& control() { return *record; }

    // Starts a player with an active session on the first endpoint playing
    // `frequency` at `level`; its pid, or 0 when it did not come up.
    DWORD startPlayer(long frequency, long level = 4096);
    // Ends the player started longest ago; false when there is none.
    bool stopOldestPlayer();
    void stopAllPlayers();
    std::vector<DWORD> playerIds() const;
    std::size_t playerCount() const { return players.size(); }

    // `exe` with `args`, started with three pipes under this namespace.
    std::unique_ptr<MeasuredProgram> start(const std::wstring& exe, const std::vector<std::wstring>& args);

    // Clients the fake has started and not yet seen stopped, in all processes
    // of this namespace: while one program runs, its open sources.
    LONG runningClients() { return record->counts.running; }
    // Waits until runningClients() is `count`; false at the bound.
    bool waitForRunningClients(LONG count, DWORD boundMs);

private:
    fake::Record* record = nullptr;
    struct Player {
        std::unique_ptr<ChildProcess> process;
        DWORD pid;
    };
    std::deque<Player> players;
};

// Paths of the measured programs, usable under Wine.
std::wstring programPath();
std::wstring minimalPath();
std::wstring fakeDrainPath();

}  // namespace measure
