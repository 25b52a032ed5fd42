// What one scan costs: the program's own scan (process table from /proc, the
// server's playback streams and, where a stream names no process of its own,
// its clients; each stream's process resolved; the sources reconciled), run
// in this process against the private server with 8 players, the way the
// rescan thread runs it every 2 s. Three mixes of players: pacat alone
// (every stream names its process), native PipeWire players (the clients
// are listed too), and players in a sandbox of their own (bwrap
// --unshare-pid: their ids are sought in the nested pid namespaces).

#include "Figure.h"
#include "Parts.h"
#include "Processes.h"

#include "selection/RescanWake.h"
#include "linux/Scanner.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

namespace linuxbench {

namespace {

constexpr int streamCount = 8;

double threadCpuSeconds() {
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct ScanCost {
    double wallMs = 0, cpuMs = 0, firstMs = 0;
    std::size_t sources = 0;
};

// The first scan (which opens every source) and then `scans` more, timed one
// by one, as the program's rescan thread makes them.
ScanCost measureScans(int scans) {
    RescanWake wake;
    PulseConnection pulse([&wake] { wake.wake(); });
    ProcessTable table;
    std::mutex sourceMapLock;
    SourceMap sources;
    const ScanContext context{&pulse, &table, {true, 0, 0, static_cast<std::uint32_t>(getpid())}, &sourceMapLock,
                              &sources};
    ScanCost cost;
    if (pulse.connect(std::chrono::milliseconds(5000)) == 0) {
        auto timed = [&] {
            const auto start = std::chrono::steady_clock::now();
            const double cpu = threadCpuSeconds();
            Scanner(context);
            return std::pair{std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                             (threadCpuSeconds() - cpu) * 1000};
        };
        cost.firstMs = timed().first;
        std::vector<double> wall, cpu;
        for (int i = 0; i < scans; ++i) {
            const auto [w, c] = timed();
            wall.push_back(w);
            cpu.push_back(c);
        }
        cost.wallMs = median(wall);
        cost.cpuMs = median(cpu);
        std::lock_guard<std::mutex> held(sourceMapLock);
        cost.sources = sources.size();
    }
    sources.clear();
    pulse.shutDown();
    return cost;
}

}  // namespace

bool scanPart(BenchServer& server, const std::string& scratch, int scans) {
    const std::string group = "Linux program on " + server.kind() + ": one scan, " + std::to_string(streamCount) +
                              " streams";
    const std::string how = "median over " + std::to_string(scans) +
                            " scans after the first; wall time, and CPU time of the scanning thread";
    struct Mix {
        const char* name;
        bool pipewireOnly;
        std::vector<std::string> (*player)(const std::string& wav);
    };
    const Mix mixes[] = {
        {"pacat", false, [](const std::string&) { return pacatArguments(false); }},
        {"pw-play (clients listed)", true,
         [](const std::string& wav) { return std::vector<std::string>{"pw-play", "--latency=30ms", wav}; }},
        // Eight sandboxes of one program under one inner id: each stream's
        // id is sought among them and found ambiguous (so captured as of an
        // unknown process), the costliest resolution there is.
        {"pacat under bwrap (nested pid look-up)", false,
         [](const std::string&) {
             std::vector<std::string> argv{"bwrap", "--unshare-pid", "--dev-bind", "/", "/"};
             for (const std::string& arg : pacatArguments(false)) {
                 argv.push_back(arg);
             }
             return argv;
         }},
    };
    bool made = false;
    for (const Mix& mix : mixes) {
        if (mix.pipewireOnly && server.kind() != "pipewire") {
            continue;
        }
        if (!server.restart()) {
            return false;
        }
        std::vector<std::unique_ptr<Child>> players;
        for (int i = 0; i < streamCount; ++i) {
            const std::string raw = toneFile(scratch, 300 + 50 * i, 0.05);
            players.push_back(std::make_unique<Child>(mix.player(toneWavFile(scratch, 300 + 50 * i, 0.05)), raw));
        }
        for (int tries = 0; tries < 100 && playbackStreams().size() < streamCount; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const ScanCost cost = measureScans(scans);
        if (cost.sources != streamCount) {
            measure::note(std::string(mix.name) + ": " + std::to_string(cost.sources) + " of " +
                          std::to_string(streamCount) + " streams recorded; not counted");
            continue;
        }
        made = true;
        measure::figure(group, std::string(mix.name) + ": wall", cost.wallMs, "ms", "", how);
        measure::figure(group, std::string(mix.name) + ": CPU", cost.cpuMs, "ms", "", how);
        measure::figure(group, std::string(mix.name) + ": first scan, opening every source", cost.firstMs, "ms", "",
                        "wall time of the scan that opens the 8 record streams");
    }
    return made;
}

}  // namespace linuxbench
