#pragma once
// What the Windows-side tests share: the fake platform's record of this test
// process, the programs they start, and how they judge a tone.
//
// Threads: the test's own thread.

#include "ChildProcess.h"
#include "FakeControl.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

// This process's record. Its namespace is put in this process's environment
// on first use, so the fake in this process and in every child reaches it.
fake::Record& fakeRecord();

// Every test starts with no faults and nothing counted.
class FakeWorld : public testing::Test {
protected:
    void SetUp() override;
    static fake::Faults& faults() { return fakeRecord().faults; }
    static fake::Accounting& counts() { return fakeRecord().counts; }
};

// Polls until `done` holds; false at the bound.
bool eventually(const std::function<bool()>& done, DWORD boundMs = 20000);

// Returns a moment after a new scan has begun (the program's, seen by the
// fake), so that the next periodic one is nearly 2 s away.
void justAfterAScan();

// The shipped exe with these arguments.
std::unique_ptr<ChildProcess> startProgram(const std::wstring& arguments);

// A chain of `members` players (see player.cpp) from `exe`: each member's
// pid (0, and a failure, for one that did not come up) and window, parent
// first. The chain ends with `top`.
struct Players {
    std::unique_ptr<ChildProcess> top;
    std::vector<DWORD> pids;
    std::vector<std::wstring> windows;
};
Players startPlayers(const std::wstring& arguments, int members, const std::wstring& exe = L"");
// player.exe's path, or that of a copy of it beside it under `name`.
std::wstring playerPath(const std::wstring& name = L"player.exe");
// The child ends with `exitCode`, having written exactly `text` on standard
// error and nothing on standard output.
void expectOnlyOnStandardError(ChildProcess& program, long exitCode, const char* text);
// Clients of `pid` that the fake saw started since the test began.
LONG captures(DWORD pid);

// The median of a tone's level over 100 ms Hann windows of the left channel:
// one window that a late packet shifts cannot sway it, while a tone that is
// absent or captured twice reads 0 or double in every window.
double steadyLevel(const std::vector<float>& samples, double hz);
