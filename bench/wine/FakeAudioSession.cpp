#include "FakeAudioSession.h"

namespace measure {

std::wstring programPath() { return windowsPath(VINTRA_BENCH_PROGRAM); }
std::wstring minimalPath() { return windowsPath(VINTRA_BENCH_MINIMAL); }
std::wstring fakeDrainPath() { return windowsPath(VINTRA_BENCH_FAKE_DRAIN); }

FakeAudioSession::FakeAudioSession() {
    // Every program and player started from here inherits the namespace.
    const std::wstring ns =
        L"bench-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    SetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", ns.c_str());
    record = fake::openRecord();
}

DWORD FakeAudioSession::startPlayer(long frequency, long level) {
    auto started = std::make_unique<ChildProcess>(L"\"" + windowsPath(VINTRA_BENCH_PLAYER) + L"\" " +
                                                  std::to_wstring(frequency) + L" " + std::to_wstring(level));
    const std::string line = started->readLine(readyBoundMs);
    const DWORD pid = std::strtoul(line.c_str(), nullptr, 10);
    if (pid != 0) players.push_back(Player{std::move(started), pid});
    return pid;
}

bool FakeAudioSession::stopOldestPlayer() {
    if (players.empty()) return false;
    players.pop_front();  // closes its input and waits for its end
    return true;
}

void FakeAudioSession::stopAllPlayers() {
    while (stopOldestPlayer()) {
    }
}

std::vector<DWORD> FakeAudioSession::playerIds() const {
    std::vector<DWORD> ids;
    for (const Player& p : players) ids.push_back(p.pid);
    return ids;
}

std::unique_ptr<MeasuredProgram> FakeAudioSession::start(const std::wstring& exe,
                                                         const std::vector<std::wstring>& args) {
    return std::make_unique<MeasuredProgram>(exe, args);
}

bool FakeAudioSession::waitForRunningClients(LONG count, DWORD boundMs) {
    for (const ULONGLONG deadline = GetTickCount64() + boundMs; runningClients() != count; Sleep(20)) {
        if (GetTickCount64() >= deadline) return false;
    }
    return true;
}

}  // namespace measure
