// The program's cost with N players, beside the yardstick of one
// `parec --monitor-stream` per playback stream: the standard tool doing one
// part of the same work (recording one stream alone, as float32 48 kHz
// stereo in 10 ms fragments, into a pipe that a parent reads).

#include "Figure.h"
#include "Parts.h"
#include "Processes.h"
#include "RunningProgram.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <thread>

namespace linuxbench {

namespace {

constexpr double settleSeconds = 3;

struct Cpu {
    double percent = 0;        // of one core
    double serverPercent = 0;  // the sound server's meanwhile
};

// CPU of `pids` (summed) and of the server over `seconds`, after settling.
Cpu measureCpu(const std::vector<pid_t>& pids, pid_t server, double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
    auto total = [&] {
        double sum = 0;
        for (pid_t pid : pids) {
            sum += cpuSeconds(pid);
        }
        return sum;
    };
    const double before = total(), serverBefore = cpuSeconds(server);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    return {(total() - before) / elapsed * 100, (cpuSeconds(server) - serverBefore) / elapsed * 100};
}

// One parec per playback stream, each read from a pipe by a reader thread.
struct Yardstick {
    std::vector<std::unique_ptr<Child>> parecs;
    std::vector<std::unique_ptr<StreamReader>> readers;
    std::vector<int> pipes;

    explicit Yardstick(const std::vector<std::uint32_t>& streams) {
        for (std::uint32_t index : streams) {
            int ends[2];
            if (pipe2(ends, O_CLOEXEC) != 0) {
                continue;
            }
            parecs.push_back(std::make_unique<Child>(
                std::vector<std::string>{"parec", "--monitor-stream=" + std::to_string(index), "--format=float32le",
                                         "--rate=48000", "--channels=2", "--latency-msec=10"},
                "", ends[1]));
            close(ends[1]);
            pipes.push_back(ends[0]);
            readers.push_back(std::make_unique<StreamReader>(rawFloats(ends[0]), false));
        }
    }
    ~Yardstick() {
        parecs.clear();  // their ends of the pipes close with them
        readers.clear();
        for (int fd : pipes) {
            close(fd);
        }
    }
    std::vector<pid_t> pids() const {
        std::vector<pid_t> all;
        for (const auto& parec : parecs) {
            all.push_back(parec->pid());
        }
        return all;
    }
};

}  // namespace

bool costPart(BenchServer& server, const std::string& scratch, double seconds, const std::vector<int>& counts) {
    const std::string group = "Linux program on " + server.kind() + ": cost";
    const std::string how = "CPU time of all threads (/proc/<pid>/task/*/schedstat) over " +
                            std::to_string(static_cast<int>(seconds)) + " s after " +
                            std::to_string(static_cast<int>(settleSeconds)) + " s of settling, % of one core";
    bool made = false;
    for (int count : counts) {
        if (!server.restart()) {
            return false;
        }
        std::vector<std::unique_ptr<Child>> players;
        for (int i = 0; i < count; ++i) {
            players.push_back(std::make_unique<Child>(pacatArguments(false), toneFile(scratch, 300 + 50 * i, 0.05)));
        }
        for (int tries = 0; tries < 100 && playbackStreams().size() < static_cast<std::size_t>(count); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const std::string n = std::to_string(count);
        long resident = -1;
        Cpu program;
        {
            RunningProgram running(false);
            if (!running.ready()) {
                measure::note("the program did not say ready with " + n + " players: " + running.process.errorText());
                continue;
            }
            program = measureCpu({running.process.pid()}, server.pid(), seconds);
            resident = residentKb(running.process.pid());
        }
        made = true;
        measure::figure(group, "program: CPU, " + n + " streams", program.percent, "%", count == 8 ? "< 8 parecs" : "", how);
        measure::figure(group, "program: resident memory, " + n + " streams", resident / 1024.0, "MB", "",
                        "VmRSS after settling");
        measure::figure(group, "server while the program records, " + n + " streams", program.serverPercent, "%", "",
                        "the sound server's CPU over the same window");
        if (count == 0) {
            continue;
        }
        Yardstick yardstick(playbackStreams());
        const Cpu parecs = measureCpu(yardstick.pids(), server.pid(), seconds);
        measure::figure(group, "yardstick: " + n + " parec --monitor-stream together", parecs.percent, "%", "",
                        how + "; --latency-msec=10, read from pipes");
        measure::figure(group, "program / yardstick, " + n + " streams", program.percent / parecs.percent, "x",
                        count == 8 ? "< 1" : "", "ratio of the two CPU figures");
        measure::figure(group, "server while the parecs record, " + n + " streams", parecs.serverPercent, "%", "",
                        "the sound server's CPU over the same window");
        measure::figure(group, "yardstick: one parec's resident memory", residentKb(yardstick.pids().front()) / 1024.0,
                        "MB", "", "VmRSS after settling");
    }
    return made;
}

}  // namespace linuxbench
