#pragma once
// A player test program started by the test parent: it announces a session
// in the fake platform's control record and plays a tone there. The test
// reads its one-line announcement (process id, window, child ids) and sends it
// line commands on standard input.
//
// Threads: one test thread per object. No reader thread: lines are read by
// polling the pipe with a bound, so a player tree that holds its output open
// can never keep the test from ending.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace blackbox {

class PlayerProcess {
public:
    PlayerProcess(const std::wstring& exe, const std::vector<std::wstring>& args);
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;
    // Asks the player to quit, then ends it if it does not within a bound.
    ~PlayerProcess();

    bool started() const { return process != nullptr; }
    DWORD processId() const { return pid; }

    // Reads the announcement line; false at the bound or when the player ended.
    bool waitForAnnouncement(DWORD boundMs);
    const std::string& announcement() const { return line; }
    // A "key=value" field of the announcement.
    std::optional<std::string> field(const std::string& key) const;
    std::optional<unsigned long long> number(const std::string& key) const;
    // A comma-separated list of numbers ("children=12,13").
    std::vector<unsigned long long> numbers(const std::string& key) const;

    // One command line; false when the player's input is closed.
    bool send(const std::string& command);
    // The next line the player prints, or nothing at the bound.
    std::optional<std::string> readLine(DWORD boundMs);
    // Asks it to quit (closes its standard input) and waits; true when it ended.
    bool quit(DWORD boundMs);

private:
    HANDLE process = nullptr;
    DWORD pid = 0;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
    std::string pending;  // bytes read past the last full line
    std::string line;
    std::map<std::string, std::string> fields;
};

}  // namespace blackbox
