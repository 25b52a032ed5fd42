// How faithfully the rate-matching resampler (capture/Resampler.h) carries a
// tone: 1, 5 and 15 kHz sines at steps of 0, +-100 and +-1000 ppm, each
// against the ideal resampled sine, that is the same sine read at every
// output frame's exact input position. The residual is given in dB against
// the tone (its RMS over the tone's RMS), over 2 s after the first 100 ms.
// Figures only; it judges nothing.
//
//   resampler-quality-figures

#include "Figure.h"

#include "capture/Resampler.h"
#include "capture/SampleFifo.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double rate = 48000.0;
constexpr double amplitude = 0.5;
constexpr std::size_t blockFrames = 480;
constexpr std::size_t blocks = 210;  // 2.1 s
constexpr std::size_t skipFrames = 4800;

double residualDb(double frequency, double ppm) {
    const double step = 1.0 + ppm * 1e-6;
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    SampleFifo fifo;
    StereoResampler resampler;
    std::vector<float> out(2 * blockFrames);
    std::size_t fed = 0, produced = 0;
    double error = 0, signal = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        // Keep two blocks' worth ahead, as the cushion does.
        while (fifo.size() < 4 * blockFrames) {
            fifo.append(static_cast<float>(amplitude * std::sin(w * double(fed))));
            fifo.append(static_cast<float>(amplitude * std::cos(w * double(fed))));
            ++fed;
        }
        std::fill(out.begin(), out.end(), 0.0f);
        const std::size_t given = resampler.addInto(out.data(), blockFrames, step, fifo);
        for (std::size_t j = 0; j < given; ++j, ++produced) {
            if (produced < skipFrames) continue;
            // Output frame j sits at input position produced x step (the
            // first output frame is centred on the first input frame).
            const double position = double(produced) * step;
            const double left = amplitude * std::sin(w * position), right = amplitude * std::cos(w * position);
            error += (out[2 * j] - left) * (out[2 * j] - left) + (out[2 * j + 1] - right) * (out[2 * j + 1] - right);
            signal += left * left + right * right;
        }
    }
    return 10.0 * std::log10(error / signal);
}

}  // namespace

int main() {
    const double frequencies[] = {1000, 5000, 15000};
    const double steps[] = {-1000, -100, 0, 100, 1000};
    std::printf("resampler residual against the ideal resampled sine, dB (%zu taps, %zu phases)\n",
                StereoResampler::taps, StereoResampler::phases);
    std::printf("%-8s", "tone");
    for (double ppm : steps) std::printf(" %+9.0f ppm", ppm);
    std::printf("\n");
    for (double f : frequencies) {
        std::printf("%-8s", (std::to_string(int(f / 1000)) + " kHz").c_str());
        double worst = -400;
        for (double ppm : steps) {
            const double db = residualDb(f, ppm);
            worst = std::max(worst, db);
            std::printf(" %13.1f", db);
        }
        std::printf("\n");
        measure::figure("resampler quality", std::to_string(int(f / 1000)) + " kHz tone, residual at worst",
                        worst, "dB", f < 5000 ? "-80" : f > 10000 ? "-60" : "",
                        "against the ideal resampled sine, steps 0, +-100 and +-1000 ppm");
    }
    return 0;
}
