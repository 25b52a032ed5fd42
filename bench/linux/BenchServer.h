#pragma once
// A private sound server for the measurements (scripts/sound-server), which
// this process's children use: starting it sets PULSE_SERVER and
// PULSE_COOKIE in this process's environment. restart() gives a freshly
// started server, whose null sink has never played. Main thread only.

#include <sys/types.h>

#include <string>

namespace linuxbench {

class BenchServer {
public:
    BenchServer(std::string kind, std::string folder);
    ~BenchServer();  // stops it
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;

    bool restart();
    bool running() const { return up; }
    pid_t pid() const;  // the process that serves the socket
    const std::string& kind() const { return serverKind; }

private:
    std::string serverKind, folder;
    bool up = false;
};

}  // namespace linuxbench
