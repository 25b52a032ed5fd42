// A player with two playback streams: two tones on two connections of one
// process (--threads), or with --fork the second from a child process. pacat
// plays one stream per process, so "each stream of a process heard once"
// needs this.
//
//   two_stream_player <freq> <level> <freq2> <level2> [--threads | --fork]
//
// Plays 30 ms buffers, like pacat in the tests, until a signal ends it.

#include <pulse/simple.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void play(const char* frequency, const char* level) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 2};
    const std::uint32_t bytes = pa_usec_to_bytes(30000, &format), server = static_cast<std::uint32_t>(-1);
    const pa_buffer_attr buffer{bytes, bytes, server, server, server};
    pa_simple* stream = pa_simple_new(nullptr, "two_stream_player", PA_STREAM_PLAYBACK, nullptr, "tone", &format,
                                      nullptr, &buffer, nullptr);
    const double step = 2 * std::numbers::pi * std::atof(frequency) / 48000;
    std::vector<float> block(960);
    for (long frame = 0; stream != nullptr; frame += 480) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<float>(std::atof(level) * std::sin(step * static_cast<double>(frame + i / 2)));
        }
        if (pa_simple_write(stream, block.data(), block.size() * sizeof(float), nullptr) < 0) {
            break;
        }
    }
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        return 64;
    }
    if (argc > 5 && std::strcmp(argv[5], "--fork") == 0) {
        if (fork() == 0) {
            play(argv[3], argv[4]);
        }
        play(argv[1], argv[2]);
    }
    std::thread first([&] { play(argv[1], argv[2]); });
    play(argv[3], argv[4]);
}
