#include "harness/Sound.h"

#include "harness/Processes.h"

#include "SoundAnalysis.h"

#include "WavFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>

namespace {

constexpr std::uint32_t toneBytes = 2 * 2 * 48000 * 60;

// 60 s of the tone as s16le, 48000 Hz, stereo, behind `header`, made once:
// longer than any run of a test.
std::string toneFile(const Tone& tone, const std::string& suffix, const std::string& header) {
    const std::string path = scratchFolder() + "/" + std::to_string(tone.frequency) + "-" + std::to_string(tone.level) + suffix;
    if (!std::filesystem::exists(path)) {
        std::vector<std::int16_t> values(toneBytes / 2);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double phase = 2 * std::numbers::pi * tone.frequency * static_cast<double>(i / 2) / 48000;
            values[i] = static_cast<std::int16_t>(std::lround(32767 * tone.level * std::sin(phase)));
        }
        std::ofstream file(path + ".part", std::ios::binary);
        file.write(header.data(), static_cast<std::streamsize>(header.size()));
        file.write(reinterpret_cast<const char*>(values.data()), toneBytes);
        file.close();
        std::filesystem::rename(path + ".part", path);
    }
    return path;
}

std::string toneFile(const Tone& tone) {
    return toneFile(tone, ".s16", "");
}

// bwrap's start of a sandbox as Flatpak makes one: a pid namespace and a
// root of its own, the system's files read-only, the test server's folder
// (socket and cookie), and an app's /.flatpak-info. The file is bound into
// the sandbox's own root only: bound into the host's, bwrap would leave an
// empty /.flatpak-info on the machine.
std::vector<std::string> flatpakLikeSandbox() {
    const std::string info = scratchFolder() + "/flatpak-info";
    std::ofstream(info) << "[Application]\nname=" << sandboxAppId << "\nruntime=runtime/org.example.Platform/x86_64/1\n";
    const char* cookie = std::getenv("PULSE_COOKIE");
    const std::string server = cookie ? std::filesystem::path(cookie).parent_path().string() : scratchFolder();
    return {"bwrap", "--unshare-pid", "--tmpfs", "/", "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib",
            "--symlink", "usr/lib64", "/lib64", "--symlink", "usr/bin", "/bin", "--symlink", "usr/sbin", "/sbin",
            "--ro-bind", "/etc", "/etc", "--dev", "/dev", "--proc", "/proc", "--ro-bind", server, server,
            "--ro-bind", info, "/.flatpak-info"};
}

}  // namespace

std::string toneWav(const Tone& tone) {
    return toneFile(tone, ".wav", sound::pcm16WavHeader(toneBytes));
}

std::string toneSamples(const Tone& tone) {
    return toneFile(tone);
}

std::string scratchFolder() {
    const std::string path = std::getenv("VINTRA_TEST_SCRATCH") ? std::getenv("VINTRA_TEST_SCRATCH") : "/tmp/vintra-linux-test";
    std::filesystem::create_directories(path);
    return path;
}

Players::~Players() {
    for (pid_t group : groups) {
        endGroup(group);
    }
}

pid_t Players::start(const std::vector<std::string>& argv, int input) {
    return start(argv, input >= 0 ? DescriptorMap{{0, input}} : DescriptorMap{});
}

pid_t Players::start(const std::vector<std::string>& argv, const DescriptorMap& descriptors) {
    groups.push_back(startProcess(argv, descriptors));
    return groups.back();
}

void Players::end(pid_t group) {
    endGroup(group);
    std::erase(groups, group);
}

pid_t Players::start(const Player& player) {
    if (player.launch == Launch::PwPlay) {
        return start({"pw-play", "--latency=30ms", toneWav(player.tone)});
    }
    const bool pacat = player.launch != Launch::TwoStreams && player.launch != Launch::ParentAndChild;
    std::vector<std::string> argv{"pacat", "--playback", "--latency-msec=30", "--format=s16le", "--rate=48000",
                                  "--channels=2"};
    if (!pacat) {
        argv = {VINTRA_TWO_STREAM_PLAYER, std::to_string(player.tone.frequency), std::to_string(player.tone.level),
                std::to_string(player.second.frequency), std::to_string(player.second.level),
                player.launch == Launch::ParentAndChild ? "--fork" : "--threads"};
    } else if (player.launch == Launch::UnderShell) {
        // A command after pacat keeps the shell from replacing itself with it.
        argv.insert(argv.begin(), {"sh", "-c", "\"$0\" \"$@\"; exit $?"});
    } else if (player.launch == Launch::InWindow || player.launch == Launch::InSandboxWindow ||
               player.launch == Launch::InSandbox) {
        if (player.launch != Launch::InSandbox) {
            argv.insert(argv.begin(), VINTRA_WINDOW_CLIENT);
        }
        if (player.launch != Launch::InWindow) {
            argv.insert(argv.begin(), {"bwrap", "--unshare-pid", "--dev-bind", "/", "/"});
        }
    } else if (player.launch == Launch::InFlatpakLike) {
        // pacat under a shell, pid 3 inside: an InSandbox player beside it is 2.
        std::vector<std::string> sandbox = flatpakLikeSandbox();
        sandbox.insert(sandbox.end(), {"sh", "-c", "\"$0\" \"$@\"; exit $?"});
        argv.insert(argv.begin(), sandbox.begin(), sandbox.end());
    } else if (player.launch == Launch::AsIgnoredName) {
        argv[0] = scratchFolder() + "/easyeffects";
        std::filesystem::remove(argv[0]);
        std::filesystem::create_symlink("/usr/bin/pacat", argv[0]);
    }
    const int tone = pacat ? open(toneFile(player.tone).c_str(), O_RDONLY | O_CLOEXEC) : -1;
    DescriptorMap descriptors;
    if (pacat) {
        descriptors.push_back({0, tone});
    }
    int named[2] = {-1, -1};  // a window client names its window here
    if (player.launch == Launch::InWindow || player.launch == Launch::InSandboxWindow) {
        pipe2(named, O_CLOEXEC);
        descriptors.push_back({1, named[1]});
    }
    groups.push_back(startProcess(argv, descriptors));
    close(tone);
    if (named[0] >= 0) {
        close(named[1]);
        const std::string id = firstLine(named[0]);
        close(named[0]);
        windows[groups.back()] = id.empty() ? 0 : static_cast<std::uint32_t>(std::stoul(id));
    }
    return groups.back();
}

std::uint32_t Players::window(pid_t group) const {
    const auto found = windows.find(group);
    return found == windows.end() ? 0 : found->second;
}

double heardLevel(const std::vector<float>& samples, double frequency, int channel) {
    return sound::medianToneLevel(samples, channel, frequency, 4800, 5);
}

std::size_t firstBlockWith(const std::vector<float>& samples, const Tone& tone) {
    return sound::toneOnsetFrame(samples, 0, tone.frequency, tone.level / 2, 960, 480) / 480;
}

bool serverShows(const char* list, pid_t pid, int count) {
    // No count at all when the server does not answer.
    const std::string command = "pactl info >/dev/null 2>&1 && pactl list " + std::string(list) +
                                " | grep -c 'application.process.id = \"" + std::to_string(pid) + "\"'";
    for (int tries = 0; tries < 25; ++tries) {
        if (shellOutput(command) == std::to_string(count) + "\n") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

long playbackStreamOf(pid_t pid) {
    const std::string command = "pactl list sink-inputs | awk '/^Sink Input #/ { stream = substr($3, 2) } "
                                "/application.process.id = \"" + std::to_string(pid) + "\"/ { print stream }'";
    for (int tries = 0; tries < 25; ++tries) {
        const std::string found = shellOutput(command);
        if (!found.empty()) {
            return std::stol(found);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return -1;
}
