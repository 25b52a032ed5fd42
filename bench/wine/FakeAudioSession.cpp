#include "FakeAudioSession.h"

#include "harness/BlackboxTest.h"

#include <mutex>

namespace measure {

std::wstring programPath() { return blackbox::exePath(); }
std::wstring minimalPath() { return blackbox::windowsPath(VINTRA_BENCH_MINIMAL); }
std::wstring fakeDrainPath() { return blackbox::windowsPath(VINTRA_BENCH_FAKE_DRAIN); }

FakeAudioSession::FakeAudioSession() {
    ns = L"bench-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    if (view.open(ns)) {
        // Every program and player started from here inherits it.
        SetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", ns.c_str());
    }
}

FakeAudioSession::~FakeAudioSession() {
    stopAllPlayers();
    if (view) fake::releaseSlotsOfEndedProcesses(control());
}

DWORD FakeAudioSession::startPlayer(long frequency) {
    auto started = std::make_unique<player::PlayerProcess>();
    blackbox::PlayerSetup setup;
    setup.frequency = frequency;
    setup.level = 4096;
    // A child started now would inherit the pipe ends of one being set up.
    std::lock_guard creating(blackbox::processCreationLock());
    if (!started->start(blackbox::playerPath(), blackbox::playerArguments(setup), blackbox::announceBoundMs)) {
        return 0;
    }
    players.push_back(std::move(started));
    return players.back()->processId();
}

bool FakeAudioSession::stopOldestPlayer() {
    if (players.empty()) return false;
    players.front()->stop();
    players.pop_front();
    return true;
}

void FakeAudioSession::stopAllPlayers() {
    while (stopOldestPlayer()) {
    }
}

std::vector<DWORD> FakeAudioSession::playerIds() const {
    std::vector<DWORD> ids;
    for (const auto& p : players) ids.push_back(p->processId());
    return ids;
}

std::unique_ptr<blackbox::ProgramUnderTest> FakeAudioSession::start(const std::wstring& exe,
                                                                    const std::vector<std::wstring>& args) {
    return std::make_unique<blackbox::ProgramUnderTest>(blackbox::ProgramOptions{exe, args, {}});
}

LONG FakeAudioSession::runningClients() {
    const fake::Accounting counts = fake::snapshotAccounting(control());
    return counts.audioClientStarts - counts.audioClientStops;
}

bool FakeAudioSession::waitForRunningClients(LONG count, DWORD boundMs) {
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    while (runningClients() != count) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace measure
