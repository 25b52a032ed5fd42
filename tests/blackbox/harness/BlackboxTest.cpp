#include "harness/BlackboxTest.h"

#include "SoundAnalysis.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace blackbox {

std::wstring windowsPath(const std::string& hostPath) {
    std::wstring path(hostPath.begin(), hostPath.end());
    // Under Wine the build tree is reached through drive Z:, the Unix root.
    if (!path.empty() && path.front() == L'/') {
        path = L"Z:" + path;
    }
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring exePath() { return windowsPath(VINTRA_BLACKBOX_EXE); }
std::wstring playerPath() { return windowsPath(VINTRA_BLACKBOX_PLAYER); }
std::wstring recordWavPath() { return windowsPath(VINTRA_BLACKBOX_RECORD_WAV); }
std::wstring scratchFolder() { return windowsPath(VINTRA_BLACKBOX_SCRATCH); }

void BlackboxTest::SetUp() {
    static std::atomic<unsigned> counter{0};
    ns = L"bb-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter.fetch_add(1)) + L"-" +
         std::to_wstring(GetTickCount64());
    ASSERT_TRUE(view.open(ns)) << "cannot create the fake platform's control record";
    // The exe and the players inherit it and so find this test's record.
    SetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", ns.c_str());
}

void BlackboxTest::TearDown() {
    players.clear();
    if (view) {
        fake::releaseSlotsOfEndedProcesses(*view.get());
    }
}

std::unique_ptr<ProgramUnderTest> BlackboxTest::startProgram(
    const std::vector<std::wstring>& args, const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
    auto program = std::make_unique<ProgramUnderTest>(ProgramOptions{exePath(), args, environment});
    EXPECT_TRUE(program->started()) << "CreateProcessW failed with " << program->startError();
    return program;
}

std::unique_ptr<ProgramUnderTest> BlackboxTest::startReadyProgram(const std::vector<std::wstring>& args) {
    auto program = startProgram(args);
    EXPECT_TRUE(program->waitForReady(readyBoundMs)) << "no ready; standard error: " << program->standardError();
    program->startReading();
    return program;
}

PlayerProcess& BlackboxTest::startPlayer(const PlayerSpec& spec, const std::wstring& exe) {
    players.push_back(std::make_unique<PlayerProcess>(exe.empty() ? playerPath() : exe, playerArguments(spec)));
    PlayerProcess& player = *players.back();
    EXPECT_TRUE(player.started());
    EXPECT_TRUE(player.waitForAnnouncement(announceBoundMs)) << "the player did not announce itself";
    return player;
}

std::wstring BlackboxTest::playerCopy(const std::wstring& fileName) {
    std::wstring folder = scratchFolder() + L"\\" + ns;
    CreateDirectoryW(scratchFolder().c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\" + fileName;
    EXPECT_TRUE(CopyFileW(playerPath().c_str(), path.c_str(), FALSE)) << "cannot copy the player: " << GetLastError();
    return path;
}

std::vector<float> BlackboxTest::listen(ProgramUnderTest& program, std::size_t blocks) {
    std::size_t first = program.blockCount();
    // A scan may stall the stream for up to 5 s per hung activation.
    DWORD bound = static_cast<DWORD>(blocks * 10 + 20000);
    EXPECT_TRUE(program.waitForBlocks(first + blocks, bound)) << "the stream stalled";
    return program.samples(first, first + blocks);
}

void BlackboxTest::bumpAfter(const std::function<void(fake::ControlRecord&)>& change) {
    change(control());
    fake::bumpGeneration(control());
}

double toneLevel(std::span<const float> samples, double frequency) {
    return sound::toneLevel(samples, 0, frequency);
}

double peakOf(std::span<const float> samples) {
    double peak = 0.0;
    for (float x : samples) {
        peak = std::max(peak, static_cast<double>(std::fabs(x)));
    }
    return peak;
}

}  // namespace blackbox
