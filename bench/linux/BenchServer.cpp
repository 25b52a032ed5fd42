#include "BenchServer.h"

#include <cstdlib>
#include <fstream>

namespace linuxbench {

namespace {

int script(const std::string& arguments) {
    return std::system(("'" VINTRA_SOUND_SERVER "' " + arguments + " >/dev/null").c_str());
}

}  // namespace

BenchServer::BenchServer(std::string kind, std::string where) : serverKind(std::move(kind)), folder(std::move(where)) {
    setenv("PULSE_SERVER", ("unix:" + folder + "/pulse/native").c_str(), 1);
    setenv("PULSE_COOKIE", (folder + "/cookie").c_str(), 1);
    // Native PipeWire players find the server's own socket there.
    setenv("PIPEWIRE_RUNTIME_DIR", folder.c_str(), 1);
    restart();
}

BenchServer::~BenchServer() {
    script("stop '" + folder + "'");
}

bool BenchServer::restart() {
    up = script("start " + serverKind + " '" + folder + "'") == 0;
    return up;
}

pid_t BenchServer::pid() const {
    pid_t server = -1;
    std::ifstream(folder + "/server.pid") >> server;
    return server;
}

}  // namespace linuxbench
