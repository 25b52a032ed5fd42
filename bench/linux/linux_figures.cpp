// linux-figures: the Linux program's figures, taken from the parent's side
// against a private sound server that it starts and stops itself
// (scripts/sound-server, in <scratch>/server). scripts/bench.sh runs it once
// per server and part and gathers its "figure|..." lines into one table.
//
//   linux-figures <pulseaudio|pipewire> <scratch> cost <seconds> <streams>...
//   linux-figures <pulseaudio|pipewire> <scratch> latency <clicks>
//   linux-figures <pulseaudio|pipewire> <scratch> clicks <seconds> [program options]...
//   linux-figures <pulseaudio|pipewire> <scratch> first-audio <runs>
//   linux-figures <pulseaudio|pipewire> <scratch> stream <seconds>
//   linux-figures <pulseaudio|pipewire> <scratch> scan <scans>
//
// It prints figures and never judges them: the exit code says only whether
// the run could be made.

#include "BenchServer.h"
#include "Figure.h"
#include "Parts.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::string kind = argc >= 2 ? argv[1] : "", part = argc >= 4 ? argv[3] : "";
    const double number = argc >= 5 ? std::atof(argv[4]) : 0;
    if ((kind != "pulseaudio" && kind != "pipewire") || number <= 0 ||
        (part != "cost" && part != "latency" && part != "clicks" && part != "first-audio" && part != "stream" && part != "scan")) {
        std::fputs("usage: linux-figures <pulseaudio|pipewire> <scratch> cost <seconds> <streams>... | latency <clicks>"
                    " | clicks <seconds> [options]... | first-audio <runs> | stream <seconds> | scan <scans>\n",
                   stderr);
        return 2;
    }
    // A program that ends early must not end its parent with it.
    signal(SIGPIPE, SIG_IGN);
    const std::string scratch = argv[2];
    std::filesystem::create_directories(scratch);
    linuxbench::BenchServer server(kind, scratch + "/server");
    if (!server.running()) {
        measure::note("the " + kind + " server did not start");
        return 1;
    }
    bool made = false;
    if (part == "cost") {
        std::vector<int> streams;
        for (int i = 5; i < argc; ++i) {
            streams.push_back(std::atoi(argv[i]));
        }
        made = linuxbench::costPart(server, scratch, number, streams);
    } else if (part == "clicks") {
        made = linuxbench::clicksPart(server, scratch, number, std::vector<std::string>(argv + 5, argv + argc));
    } else if (part == "latency") {
        made = linuxbench::latencyPart(server, number);
    } else if (part == "first-audio") {
        made = linuxbench::firstAudioPart(server, scratch, static_cast<int>(number));
    } else if (part == "scan") {
        made = linuxbench::scanPart(server, scratch, static_cast<int>(number));
    } else {
        made = linuxbench::streamPart(server, scratch, number);
    }
    return made ? 0 : 1;
}
