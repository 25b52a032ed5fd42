// wav-report: what a recording of the program's stream holds, in numbers.
//
//   wav-report <file.wav>
//
// Prints the format, the length, each channel's RMS and peak level and its
// strongest tones. The demo runs it on what record-wav captured; it is also a
// quick check of any recording made on Windows.

#include "SoundAnalysis.h"
#include "WavFile.h"

#include <cstdio>
#include <span>
#include <string>

namespace {

constexpr double toneWindowSeconds = 0.2;  // 5 Hz resolution, cheap enough under Wine
constexpr double toneGridStep = 5.0;
constexpr double toneLowest = 20.0;
constexpr double toneHighest = 8000.0;
constexpr double toneThreshold = 0.005;  // about -46 dBFS: below it, call it silence
constexpr std::size_t tonesShown = 4;

void reportChannel(const char* name, std::span<const float> all, std::span<const float> middle, int channel) {
    sound::ChannelLevel level = sound::channelLevel(all, channel);
    std::printf("%-5s  rms %.4f  peak %.4f  strongest:", name, level.rms, level.peak);
    auto tones = sound::strongestTones(middle, channel, toneLowest, toneHighest, toneGridStep, toneThreshold,
                                       tonesShown);
    if (tones.empty()) {
        std::printf(" none (silence)");
    }
    for (const auto& tone : tones) {
        std::printf(" %.0f Hz (%.3f)", tone.frequency, tone.level);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wav-report <file.wav>\n");
        return 64;
    }
    auto wav = sound::readWav(argv[1]);
    if (!wav) {
        std::fprintf(stderr, "wav-report: %s is not a WAV file\n", argv[1]);
        return 65;
    }
    std::printf("%s: format %u, %u channels, %u Hz, %u bits, %.2f s\n", argv[1], wav->formatTag, wav->channels,
                wav->sampleRate, wav->bitsPerSample,
                wav->channels ? wav->samples.size() / double(wav->channels) / sound::sampleRate : 0.0);
    if (wav->formatTag != 3 || wav->channels != 2 || wav->sampleRate != 48000 || wav->bitsPerSample != 32) {
        std::fprintf(stderr, "wav-report: expected 32-bit float, 2 channels, 48000 Hz\n");
        return 65;
    }
    std::span<const float> all(wav->samples);
    std::size_t windowSamples = static_cast<std::size_t>(toneWindowSeconds * sound::sampleRate) * 2;
    std::span<const float> middle = all;
    if (all.size() > windowSamples) {
        std::size_t start = (all.size() - windowSamples) / 2 & ~std::size_t{1};
        middle = all.subspan(start, windowSamples);
    }
    reportChannel("left", all, middle, 0);
    reportChannel("right", all, middle, 1);
    return 0;
}
