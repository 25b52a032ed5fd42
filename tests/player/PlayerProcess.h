#pragma once
// A player test program seen from the process that starts it: a test parent,
// or a player starting its child players.
//
// The player writes one report line once it is set up,
//     pid=<pid> hwnd=<window, decimal; 0 without one> children=<pid>,<pid>,...
// where children lists every descendant player in preorder (a child, then
// that child's own descendants, then the next child). It then reads one
// command per line and answers each with "ok" or "error" (see player.cpp),
// and ends at "quit" or at the end of its standard input.
//
// Threads: one thread at a time per instance.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace player {

struct PlayerReport {
    DWORD processId = 0;
    std::uintptr_t window = 0;
    std::vector<DWORD> descendants;
};

// Parses a report line; false when it is not one.
bool parseReport(const std::string& line, PlayerReport& report);
std::string formatReport(const PlayerReport& report);

// Quotes one argument for a Windows command line.
std::wstring quoteArgument(const std::wstring& argument);

// A Unix path (as CTest passes it under Wine) turned into a path on Wine's Z:
// drive; a Windows path is returned unchanged.
std::wstring windowsPath(const std::wstring& path);

class PlayerProcess {
public:
    PlayerProcess() = default;
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;
    ~PlayerProcess() { stop(); }

    // Starts `exePath` with the command-line tail `arguments` and waits up to
    // `timeoutMs` for its report. The child inherits this process's
    // environment (and so the fake's namespace).
    bool start(const std::wstring& exePath, const std::wstring& arguments, DWORD timeoutMs = 15000);

    // Sends one command and waits for the player's answer; true on "ok".
    bool command(const std::string& line, DWORD timeoutMs = 10000);
    // Sends one command and returns the answer line ("" on time-out).
    std::string ask(const std::string& line, DWORD timeoutMs = 10000);

    // Closes the player's standard input (which ends it and its children)
    // and waits up to `timeoutMs`; a player that is still there is killed.
    // Returns true when it ended by itself.
    bool stop(DWORD timeoutMs = 10000);

    const PlayerReport& report() const { return lastReport; }
    DWORD processId() const { return lastReport.processId; }
    HANDLE process() const { return processHandle; }
    bool running() const { return processHandle != nullptr; }

private:
    bool readLine(std::string& line, DWORD timeoutMs);

    HANDLE processHandle = nullptr;
    HANDLE toPlayer = nullptr;    // write end of its standard input
    HANDLE fromPlayer = nullptr;  // read end of its standard output
    std::string pending;          // bytes read past the last line
    PlayerReport lastReport;
};

}  // namespace player
