// tone_check: whether a recording of the program's stream holds a tone at
// its level, on both channels.
//
//   tone_check <file.wav> <frequency> <level>
//
// Each channel's level is the median of five 100 ms windows at the end of the
// recording (sound::medianToneLevel): a source's packets may shift against
// the program's blocks now and then, which is correct output and must not
// sway the verdict, while a tone that is missing or captured twice still
// reads 0 or double. Exit 0 when both channels are within 30 % of `level`,
// 1 when not, 64/65 for a wrong command line or file.

#include "SoundAnalysis.h"
#include "WavFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tone_check <file.wav> <frequency> <level>\n");
        return 64;
    }
    const auto wav = sound::readWav(argv[1]);
    if (!wav || wav->formatTag != 3 || wav->channels != 2 || wav->sampleRate != 48000) {
        std::fprintf(stderr, "tone_check: %s is not a recording of the stream\n", argv[1]);
        return 65;
    }
    const double frequency = std::atof(argv[2]), expected = std::atof(argv[3]);
    bool heard = true;
    for (int channel : {0, 1}) {
        const double level = sound::medianToneLevel(wav->samples, channel, frequency, 4800, 5);
        std::printf("%-5s %.0f Hz at %.3f (expected %.3f)\n", channel == 0 ? "left" : "right", frequency, level,
                    expected);
        heard = heard && std::fabs(level - expected) <= 0.3 * expected;
    }
    return heard ? 0 : 1;
}
