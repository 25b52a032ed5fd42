#include "harness/BlackboxTest.h"

#include "SoundAnalysis.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

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
std::wstring launcherPath() { return windowsPath(VINTRA_BLACKBOX_LAUNCHER); }
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
    for (int slot : claimedSlots) {
        fake::releaseSlot(control(), slot);
    }
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

player::PlayerProcess& BlackboxTest::startPlayer(const PlayerSetup& setup, const std::wstring& exe) {
    players.push_back(std::make_unique<player::PlayerProcess>());
    player::PlayerProcess& started = *players.back();
    // Process creation is serialised with the exe's: see processCreationLock.
    std::lock_guard creating(processCreationLock());
    EXPECT_TRUE(started.start(exe.empty() ? playerPath() : exe, playerArguments(setup), announceBoundMs))
        << "the player did not start or announce itself";
    return started;
}

player::PlayerProcess& BlackboxTest::startUnderParentNamed(const std::wstring& parentName,
                                                          const PlayerSetup& parentSetup, const PlayerSetup& childSetup,
                                                          DWORD& parentPid) {
    // A folder of its own: Wine matches file names without regard to case.
    std::wstring folder = scratchFolder() + L"\\" + ns;
    CreateDirectoryW(scratchFolder().c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\launcher").c_str(), nullptr);
    std::wstring launcher = folder + L"\\launcher\\" + parentName;
    EXPECT_TRUE(CopyFileW(launcherPath().c_str(), launcher.c_str(), FALSE)) << GetLastError();
    players.push_back(std::make_unique<player::PlayerProcess>());
    player::PlayerProcess& child = *players.back();
    {
        std::lock_guard creating(processCreationLock());
        EXPECT_TRUE(child.start(launcher, quoteArgument(playerPath()) + L" " + playerArguments(childSetup),
                                announceBoundMs))
            << "the launched player did not report";
    }
    parentPid = child.process() ? GetProcessId(child.process()) : 0;
    fake::SessionSettings session;
    session.processId = parentPid;
    session.parentProcessId = GetCurrentProcessId();
    session.frequencyHz = parentSetup.frequency;
    session.level = parentSetup.level;
    session.endpointMask = parentSetup.endpoints;
    int slot = fake::claimSlot(control(), session);
    EXPECT_GE(slot, 0);
    claimedSlots.push_back(slot);
    return child;
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

LONG BlackboxTest::liveClients() {
    fake::Accounting counts = fake::snapshotAccounting(control());
    return counts.audioClientsCreated - counts.audioClientsDestroyed;
}

bool waitForStall(const ProgramUnderTest& program, DWORD quietMs, DWORD boundMs) {
    Ticks deadline = now() + static_cast<Ticks>(boundMs / 1000.0 * ticksPerSecond());
    std::size_t seen = program.blockCount();
    Ticks since = now();
    while (now() < deadline) {
        Sleep(20);
        std::size_t count = program.blockCount();
        if (count != seen) {
            seen = count;
            since = now();
        } else if (secondsBetween(since, now()) * 1000 >= quietMs) {
            return true;
        }
    }
    return false;
}

namespace {

template <typename Holds>
std::optional<std::size_t> watch(const ProgramUnderTest& program, std::size_t from, DWORD boundMs,
                                 std::size_t window, Holds holds) {
    Ticks deadline = now() + static_cast<Ticks>(boundMs / 1000.0 * ticksPerSecond());
    std::size_t at = from;
    for (;;) {
        while (program.blockCount() >= at + window) {
            auto stretch = program.samples(at, at + window);
            if (holds(stretch)) {
                return at + window;
            }
            at += std::max<std::size_t>(1, window / 2);  // overlapping: a change may fall anywhere
        }
        if (now() >= deadline || program.outputEnded()) {
            return std::nullopt;
        }
        program.waitForBlocks(at + window, 50);
    }
}

}  // namespace

std::optional<std::size_t> waitForTone(const ProgramUnderTest& program, std::size_t from, double frequency,
                                       double level, DWORD boundMs, std::size_t window) {
    return watch(program, from, boundMs, window,
                 [&](const std::vector<float>& s) { return toneLevel(s, frequency) >= level; });
}

std::optional<std::size_t> waitForSilence(const ProgramUnderTest& program, std::size_t from, DWORD boundMs,
                                          std::size_t window) {
    return watch(program, from, boundMs, window, [](const std::vector<float>& s) { return peakOf(s) == 0.0; });
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
