#include "SoundAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

ChannelLevel channelLevel(std::span<const float> interleaved, int channel) {
    ChannelLevel level;
    double sumOfSquares = 0.0;
    std::size_t frames = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < interleaved.size(); i += channelCount) {
        double x = interleaved[i];
        sumOfSquares += x * x;
        level.peak = std::max(level.peak, std::fabs(x));
        ++frames;
    }
    if (frames > 0) {
        level.rms = std::sqrt(sumOfSquares / static_cast<double>(frames));
    }
    return level;
}

namespace {

// One channel, Hann-windowed, and the window's sum (a sine of amplitude A
// then gives a Goertzel magnitude of A * sum / 2).
std::vector<double> windowedChannel(std::span<const float> interleaved, int channel, double& windowSum) {
    std::size_t frames = interleaved.size() / channelCount;
    std::vector<double> windowed(frames);
    windowSum = 0.0;
    const double windowStep = frames > 1 ? 2.0 * std::numbers::pi / static_cast<double>(frames - 1) : 0.0;
    for (std::size_t n = 0; n < frames; ++n) {
        double window = 0.5 - 0.5 * std::cos(windowStep * static_cast<double>(n));
        windowSum += window;
        windowed[n] = window * interleaved[n * channelCount + static_cast<std::size_t>(channel)];
    }
    return windowed;
}

double goertzelAmplitude(const std::vector<double>& windowed, double windowSum, double frequency) {
    if (windowed.size() < 2 || windowSum <= 0.0) {
        return 0.0;
    }
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / sampleRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (double x : windowed) {
        double current = x + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    double power = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / windowSum;
}

}  // namespace

double toneLevel(std::span<const float> interleaved, int channel, double frequency) {
    double windowSum = 0.0;
    auto windowed = windowedChannel(interleaved, channel, windowSum);
    return goertzelAmplitude(windowed, windowSum, frequency);
}

double medianToneLevel(std::span<const float> interleaved, int channel, double frequency,
                       std::size_t windowFrames, std::size_t windows) {
    const std::size_t window = windowFrames * channelCount;
    if (windows == 0 || window == 0 || interleaved.size() < windows * window) {
        return -1.0;
    }
    std::vector<double> levels;
    for (std::size_t end = interleaved.size(); levels.size() < windows; end -= window) {
        levels.push_back(toneLevel(interleaved.subspan(end - window, window), channel, frequency));
    }
    std::nth_element(levels.begin(), levels.begin() + windows / 2, levels.end());
    return levels[windows / 2];
}

std::size_t toneOnsetFrame(std::span<const float> interleaved, int channel, double frequency, double level,
                           std::size_t windowFrames, std::size_t stepFrames) {
    const std::size_t frames = interleaved.size() / channelCount;
    for (std::size_t start = 0; stepFrames > 0 && start + windowFrames <= frames; start += stepFrames) {
        if (toneLevel(interleaved.subspan(start * channelCount, windowFrames * channelCount), channel, frequency) >= level) {
            return start;
        }
    }
    return frames;
}

std::vector<Peak> strongestTones(std::span<const float> interleaved, int channel, double lowest,
                                 double highest, double step, double threshold, std::size_t count) {
    double windowSum = 0.0;
    auto windowed = windowedChannel(interleaved, channel, windowSum);
    std::vector<Peak> grid;
    for (double f = lowest; f <= highest + step / 2; f += step) {
        grid.push_back({f, goertzelAmplitude(windowed, windowSum, f)});
    }
    std::vector<Peak> peaks;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        bool aboveLeft = i == 0 || grid[i].level > grid[i - 1].level;
        bool notBelowRight = i + 1 == grid.size() || grid[i].level >= grid[i + 1].level;
        if (aboveLeft && notBelowRight && grid[i].level > threshold) {
            peaks.push_back(grid[i]);
        }
    }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.level > b.level; });
    if (peaks.size() > count) {
        peaks.resize(count);
    }
    return peaks;
}

}  // namespace sound
