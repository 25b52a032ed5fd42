// tone: a steady sine as a player application would play it, for the demo
// and the benchmarks' players (pacat reads it on its standard input).
//
//   tone <frequency> <level> <seconds> [--wav]
//
// Writes raw signed 16-bit little-endian samples, 48000 Hz, stereo (both
// channels alike) on standard output; level is the peak, 1.0 = full scale.
// With --wav they come behind a WAV header that says so, for players that
// read only files that say what they hold (pw-play). OS-free.

#include "WavFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

int main(int argc, char** argv) {
    const bool wav = argc == 5 && std::strcmp(argv[4], "--wav") == 0;
    if (argc != 4 && !wav) {
        std::fprintf(stderr, "usage: tone <frequency> <level> <seconds> [--wav]\n");
        return 64;
    }
    const double frequency = std::atof(argv[1]), level = std::atof(argv[2]), seconds = std::atof(argv[3]);
    if (!(frequency > 0 && frequency < 24000) || !(level >= 0 && level <= 1) || !(seconds > 0)) {
        std::fprintf(stderr, "tone: frequency in (0, 24000) Hz, level in [0, 1], seconds > 0\n");
        return 64;
    }
    const long long frames = std::llround(seconds * 48000);
    std::vector<std::uint8_t> block;
    if (wav) {
        const std::string header = sound::pcm16WavHeader(static_cast<std::uint64_t>(frames) * 4);
        block.assign(header.begin(), header.end());
    }
    for (long long frame = 0; frame < frames; ++frame) {
        const double value = level * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(frame) / 48000);
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(32767 * value)));
        for (int channel = 0; channel < 2; ++channel) {
            block.push_back(static_cast<std::uint8_t>(sample & 0xff));
            block.push_back(static_cast<std::uint8_t>(sample >> 8));
        }
        if (block.size() >= 65536 || frame + 1 == frames) {
            if (std::fwrite(block.data(), 1, block.size(), stdout) != block.size()) {
                return 1;  // the reader went away
            }
            block.clear();
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
