#include "Processes.h"

#include "WavFile.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

extern char** environ;

namespace linuxbench {

namespace {

constexpr std::uint32_t toneBytes = 2 * 2 * 48000 * 120;

std::string toneFile(const std::string& folder, double frequency, double level, bool wav) {
    char name[64];
    std::snprintf(name, sizeof name, "/tone-%g-%g.%s", frequency, level, wav ? "wav" : "s16");
    const std::string path = folder + name;
    if (!std::filesystem::exists(path)) {
        std::vector<std::int16_t> values(toneBytes / 2);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(i / 2) / 48000;
            values[i] = static_cast<std::int16_t>(std::lround(32767 * level * std::sin(phase)));
        }
        std::ofstream file(path + ".part", std::ios::binary);
        if (wav) {
            const std::string header = sound::pcm16WavHeader(toneBytes);
            file.write(header.data(), static_cast<std::streamsize>(header.size()));
        }
        file.write(reinterpret_cast<const char*>(values.data()), toneBytes);
        file.close();
        std::filesystem::rename(path + ".part", path);
    }
    return path;
}

}  // namespace

std::string toneFile(const std::string& folder, double frequency, double level) {
    return toneFile(folder, frequency, level, false);
}

std::string toneWavFile(const std::string& folder, double frequency, double level) {
    return toneFile(folder, frequency, level, true);
}

Child::Child(const std::vector<std::string>& argv, const std::string& inputFile, int outputFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inputFile.empty() ? "/dev/null" : inputFile.c_str(), O_RDONLY, 0);
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    if (posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ) != 0) {
        child = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    if (child <= 0) {
        return;
    }
    kill(child, SIGTERM);
    for (int wait = 0; wait < 500; ++wait) {
        if (waitpid(child, nullptr, WNOHANG) == child) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

std::vector<std::string> pacatArguments(bool defaultBuffer) {
    std::vector<std::string> argv{"pacat", "--playback", "--format=s16le", "--rate=48000", "--channels=2"};
    if (!defaultBuffer) {
        argv.push_back("--latency-msec=30");
    }
    return argv;
}

std::vector<std::uint32_t> playbackStreams() {
    std::vector<std::uint32_t> indexes;
    if (FILE* pipe = popen("pactl list short sink-inputs 2>/dev/null", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            indexes.push_back(static_cast<std::uint32_t>(std::strtoul(line, nullptr, 10)));
        }
        pclose(pipe);
    }
    return indexes;
}

long newPlaybackStream(const std::vector<std::uint32_t>& known) {
    for (int tries = 0; tries < 500; ++tries) {
        for (std::uint32_t index : playbackStreams()) {
            if (std::find(known.begin(), known.end(), index) == known.end()) {
                return index;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

double cpuSeconds(pid_t pid) {
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
        unsigned long long onCpuNs = 0;
        std::ifstream(task.path() / "schedstat") >> onCpuNs;
        total += static_cast<double>(onCpuNs) * 1e-9;
    }
    return total;
}

long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

}  // namespace linuxbench
