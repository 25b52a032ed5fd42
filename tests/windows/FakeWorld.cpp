#include "FakeWorld.h"

#include "SoundAnalysis.h"

#include <objbase.h>

#include <algorithm>
#include <span>

fake::Record& fakeRecord() {
    static fake::Record* const record = [] {
        SetEnvironmentVariableW(L"VINTRA_FAKE_NAMESPACE", (L"test-" + std::to_wstring(GetCurrentProcessId())).c_str());
        return fake::openRecord();
    }();
    return *record;
}

void FakeWorld::SetUp() {
    fakeRecord().faults = fake::Faults{};
    fakeRecord().counts = fake::Accounting{};
    for (fake::Slot& slot : fakeRecord().slots) slot.captures = 0;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

bool eventually(const std::function<bool()>& done, DWORD boundMs) {
    for (const ULONGLONG deadline = GetTickCount64() + boundMs; !done(); Sleep(10)) {
        if (GetTickCount64() > deadline) return false;
    }
    return true;
}

void justAfterAScan() {
    const LONG scans = fakeRecord().counts.scans;
    EXPECT_TRUE(eventually([scans] { return fakeRecord().counts.scans > scans; })) << "scans stopped";
    Sleep(200);
}

std::unique_ptr<ChildProcess> startProgram(const std::wstring& arguments) {
    fakeRecord();
    return std::make_unique<ChildProcess>(L"\"" + windowsPath(VINTRA_EXE) + L"\" " + arguments);
}

std::wstring playerPath(const std::wstring& name) {
    const std::wstring player = windowsPath(VINTRA_PLAYER);
    const std::wstring path = player.substr(0, player.rfind(L'\\') + 1) + name;
    if (path != player) CopyFileW(player.c_str(), path.c_str(), FALSE);
    return path;
}

Players startPlayers(const std::wstring& arguments, int members, const std::wstring& exe) {
    fakeRecord();
    Players players;
    players.top = std::make_unique<ChildProcess>(L"\"" + (exe.empty() ? playerPath() : exe) + L"\" " + arguments);
    for (int member = 0; member < members; ++member) {
        const std::string line = players.top->readLine(20000);
        players.pids.push_back(std::strtoul(line.c_str(), nullptr, 10));
        const std::string window = line.substr(line.find(' ') + 1);  // the whole line when it has no space
        players.windows.push_back(std::wstring(window.begin(), window.end()));
        EXPECT_NE(players.pids.back(), 0u) << "a player did not come up";
    }
    return players;
}

void expectOnlyOnStandardError(ChildProcess& program, long exitCode, const char* text) {
    EXPECT_EQ(program.waitExit(30000), exitCode);
    EXPECT_EQ(program.error(), text);
    char byte = 0;
    EXPECT_FALSE(program.read(&byte, 1, 0)) << "something on standard output";
}

LONG captures(DWORD pid) {
    const fake::Slot* slot = fake::findSlot(fakeRecord(), pid);
    return slot ? slot->captures : -1;
}

double steadyLevel(const std::vector<float>& samples, double hz) {
    constexpr std::size_t window = 9600;
    std::vector<double> levels;
    for (std::size_t at = 0; at + window <= samples.size(); at += window) {
        levels.push_back(sound::toneLevel(std::span(samples).subspan(at, window), 0, hz));
    }
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels.empty() ? -1 : levels[levels.size() / 2];
}
