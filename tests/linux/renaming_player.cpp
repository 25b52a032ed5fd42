// A player whose process name the test switches while it plays: SIGUSR1
// names it "easyeffects", a name the program ignores, and SIGUSR2 gives it
// back its own. The program reads the names at every scan, so the moments a
// scan drops and takes back its stream show in the program's output.
//
//   renaming_player <freq> <level>
//
// Plays one stream with a 30 ms buffer, like pacat in the tests, until a
// signal ends it.

#include <pulse/simple.h>

#include <signal.h>
#include <sys/prctl.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void play(double frequency, double level) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 2};
    const std::uint32_t bytes = pa_usec_to_bytes(30000, &format), server = static_cast<std::uint32_t>(-1);
    const pa_buffer_attr buffer{bytes, bytes, server, server, server};
    pa_simple* stream = pa_simple_new(nullptr, "renaming_player", PA_STREAM_PLAYBACK, nullptr, "tone", &format,
                                      nullptr, &buffer, nullptr);
    const double step = 2 * std::numbers::pi * frequency / 48000;
    std::vector<float> block(960);
    for (long frame = 0; stream != nullptr; frame += 480) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<float>(level * std::sin(step * static_cast<double>(frame + i / 2)));
        }
        if (pa_simple_write(stream, block.data(), block.size() * sizeof(float), nullptr) < 0) {
            break;
        }
    }
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 64;
    }
    // Blocked before any thread starts, so that every thread inherits the
    // mask and only sigwait below takes them: PR_SET_NAME names the calling
    // thread, and /proc/<pid>/comm, which the program reads, is the main one's.
    sigset_t renames;
    sigemptyset(&renames);
    sigaddset(&renames, SIGUSR1);
    sigaddset(&renames, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &renames, nullptr);
    std::thread(play, std::atof(argv[1]), std::atof(argv[2])).detach();
    for (int signal = 0; sigwait(&renames, &signal) == 0;) {
        prctl(PR_SET_NAME, signal == SIGUSR1 ? "easyeffects" : "renaming_player");
    }
    return 1;
}
