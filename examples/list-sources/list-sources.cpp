// list-sources (POSIX): a parent that shows what plays, as a picker would
// before it chooses what to hear.
//
//   list-sources <path-to-vintra-app-audio> [--follow]
//
// It starts the program with "--list" (and "--follow"), reads each line of
// JSON it prints and shows it as a table: one row per playing process, with
// the pid to pass to "--pid" so that the whole application is heard
// (app_pid), or to "--except-pid" to leave it out. With --follow a new table
// follows each change, until the program ends or this parent is stopped.
//
// One thread.

#include "ProgramProcess.h"

#include <nlohmann/json.hpp>

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace {

std::string text(const nlohmann::json& value) {
    if (value.is_null()) {
        return "-";
    }
    return value.is_string() ? value.get<std::string>() : value.dump();
}

void printTable(const nlohmann::json& list) {
    std::printf("%-8s %-8s %-20s %-24s %s\n", "PID", "APP_PID", "PROGRAM", "NAME", "PLAYING");
    for (const nlohmann::json& entry : list) {
        std::string program = text(entry.value("exe", nlohmann::json()));
        if (entry.value("ignored", false)) {
            program += " (router)";
        }
        std::string name = text(entry.value("name", nlohmann::json()));
        if (!entry.value("app_id", nlohmann::json()).is_null()) {
            name += " [" + text(entry["app_id"]) + "]";
        }
        // An app that holds a stream and plays nothing now: a picker shows it idle.
        std::string media = text(entry.value("media", nlohmann::json()));
        if (!entry.value("playing", true)) {
            media = "(idle) " + media;
        }
        std::printf("%-8s %-8s %-20s %-24s %s\n", text(entry.value("pid", nlohmann::json())).c_str(),
                    text(entry.value("app_pid", nlohmann::json())).c_str(), program.c_str(), name.c_str(),
                    media.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const bool follow = argc == 3 && std::strcmp(argv[2], "--follow") == 0;
    if (argc < 2 || (argc == 3 && !follow) || argc > 3) {
        std::fprintf(stderr, "usage: list-sources <path-to-program> [--follow]\n");
        return 64;
    }
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> command{argv[1], "--list"};
    if (follow) {
        command.push_back("--follow");
    }
    ProgramProcess program(command);
    if (program.pid() < 0) {
        std::fprintf(stderr, "list-sources: cannot start %s\n", argv[1]);
        return 69;
    }
    // The first list comes once the program has asked the system; later ones
    // only when something changes, which may take any time.
    for (double bound = 10;; bound = std::numeric_limits<int>::max() / 1000.0) {
        const std::string line = program.readLine(bound);
        if (line.empty()) {
            break;
        }
        const nlohmann::json list = nlohmann::json::parse(line, nullptr, false);
        if (!list.is_array()) {
            std::fprintf(stderr, "list-sources: not a list: %s\n", line.c_str());
            return 1;
        }
        printTable(list);
        if (!follow) {
            break;
        }
        std::printf("\n");
    }
    const int code = program.finish(10);
    if (code != 0) {
        std::fprintf(stderr, "list-sources: the program ended with %d: %s", code, program.errorText().c_str());
    }
    return code == 0 ? 0 : 1;
}
