// The measuring tools the scenarios judge the program by: if these misread a
// tone or a file, every scenario's verdict is worthless.

#include "SoundAnalysis.h"
#include "WavFile.h"
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

struct Tone {
    double frequency;
    double amplitude;
    double phase;
};

std::vector<float> stereo(std::size_t frames, const std::vector<Tone>& left, const std::vector<Tone>& right) {
    std::vector<float> samples(frames * 2);
    for (std::size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / sound::sampleRate;
        double l = 0, r = 0;
        for (const auto& tone : left) l += tone.amplitude * std::sin(2 * std::numbers::pi * tone.frequency * t + tone.phase);
        for (const auto& tone : right) r += tone.amplitude * std::sin(2 * std::numbers::pi * tone.frequency * t + tone.phase);
        samples[2 * n] = static_cast<float>(l);
        samples[2 * n + 1] = static_cast<float>(r);
    }
    return samples;
}

TEST(ToneLevel, ReadsAmplitudeWhateverThePhaseAndRejectsNeighbours) {
    struct Case {
        const char* what;
        std::size_t frames;
        std::vector<Tone> tones;
        double probe;
        double expected;
    };
    const std::vector<Case> cases = {
        {"440 Hz alone, 0.1 s", 4800, {{440, 0.25, 0.0}}, 440, 0.25},
        {"440 Hz, other phase", 4800, {{440, 0.25, 1.3}}, 440, 0.25},
        {"full scale", 9600, {{1000, 1.0, 0.4}}, 1000, 1.0},
        {"off the bin grid", 4800, {{443.7, 0.5, 0.2}}, 443.7, 0.5},
        {"440 beside 660: read 440", 4800, {{440, 0.25, 0.0}, {660, 0.5, 0.9}}, 440, 0.25},
        {"440 beside 660: read 660", 4800, {{440, 0.25, 0.0}, {660, 0.5, 0.9}}, 660, 0.5},
        {"660 absent beside a strong 440", 4800, {{440, 0.9, 0.0}}, 660, 0.0},
        {"880 absent beside 440 and 660", 9600, {{440, 0.5, 0.0}, {660, 0.5, 0.0}}, 880, 0.0},
        {"silence", 4800, {}, 440, 0.0},
    };
    for (const auto& c : cases) {
        auto samples = stereo(c.frames, c.tones, c.tones);
        double level = sound::toneLevel(samples, 0, c.probe);
        EXPECT_NEAR(level, c.expected, 0.01 + 0.02 * c.expected) << c.what;
    }
}

TEST(ToneLevel, MeasuresEachChannelOnItsOwn) {
    auto samples = stereo(4800, {{440, 0.5, 0.0}}, {{660, 0.125, 0.0}});
    EXPECT_NEAR(sound::toneLevel(samples, 0, 440), 0.5, 0.01);
    EXPECT_LT(sound::toneLevel(samples, 0, 660), 0.005);
    EXPECT_NEAR(sound::toneLevel(samples, 1, 660), 0.125, 0.005);
    EXPECT_LT(sound::toneLevel(samples, 1, 440), 0.005);
}

TEST(ChannelLevel, GivesRmsAndPeakPerChannel) {
    auto samples = stereo(48000, {{1000, 0.5, 0.0}}, {});
    auto left = sound::channelLevel(samples, 0);
    auto right = sound::channelLevel(samples, 1);
    EXPECT_NEAR(left.rms, 0.5 / std::sqrt(2.0), 0.001);
    EXPECT_NEAR(left.peak, 0.5, 0.001);
    EXPECT_EQ(right.rms, 0.0);
    EXPECT_EQ(right.peak, 0.0);
    std::vector<float> oneNegative = {0.0f, -0.75f, 0.0f, 0.25f};
    EXPECT_EQ(sound::channelLevel(oneNegative, 1).peak, 0.75);
}

TEST(StrongestTones, ListsLocalPeaksStrongestFirst) {
    auto samples = stereo(9600, {{440, 0.2, 0.0}, {660, 0.4, 0.0}}, {});
    auto tones = sound::strongestTones(samples, 0, 20, 4000, 5, 0.01, 4);
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_EQ(tones[0].frequency, 660);
    EXPECT_NEAR(tones[0].level, 0.4, 0.01);
    EXPECT_EQ(tones[1].frequency, 440);
    EXPECT_TRUE(sound::strongestTones(samples, 1, 20, 4000, 5, 0.01, 4).empty());
}

std::string scratchFile(const char* name) {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    return std::string(path) + name;
}

TEST(WavFile, RoundTripsFloatSamplesWithCorrectHeader) {
    std::string path = scratchFile("vintra-wav-roundtrip.wav");
    std::vector<float> first = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.25f};
    std::vector<float> second(960, 0.125f);
    {
        sound::WavWriter writer;
        ASSERT_TRUE(writer.open(path));
        ASSERT_TRUE(writer.append(first));
        ASSERT_TRUE(writer.append(second));
        EXPECT_EQ(writer.samplesWritten(), first.size() + second.size());
        ASSERT_TRUE(writer.close());
    }
    auto wav = sound::readWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->formatTag, 3);  // WAVE_FORMAT_IEEE_FLOAT
    EXPECT_EQ(wav->channels, 2);
    EXPECT_EQ(wav->sampleRate, 48000u);
    EXPECT_EQ(wav->bitsPerSample, 32);
    ASSERT_EQ(wav->samples.size(), first.size() + second.size());
    EXPECT_TRUE(std::signbit(wav->samples[1]));  // -0.0 kept bit for bit
    EXPECT_EQ(wav->samples[3], -1.0f);
    EXPECT_EQ(wav->samples.back(), 0.125f);

    std::ifstream raw(path, std::ios::binary | std::ios::ate);
    auto fileSize = static_cast<std::uint32_t>(raw.tellg());
    EXPECT_EQ(fileSize, 44 + 4 * (first.size() + second.size()));
    raw.seekg(4);
    std::uint32_t riffSize = 0;
    raw.read(reinterpret_cast<char*>(&riffSize), 4);
    EXPECT_EQ(riffSize, fileSize - 8);
    std::remove(path.c_str());
}

TEST(WavFile, RejectsWhatIsNotWaveAndKeepsATruncatedRecording) {
    std::string notWave = scratchFile("vintra-not-wave.wav");
    std::ofstream(notWave, std::ios::binary) << "RIFX....WAVEfmt ";
    EXPECT_FALSE(sound::readWav(notWave).has_value());
    EXPECT_FALSE(sound::readWav(scratchFile("vintra-no-such-file.wav")).has_value());

    // A writer that never closed (say, record-wav killed) leaves data size 0
    // in the header; a file cut inside its data keeps the samples present.
    std::string cut = scratchFile("vintra-cut.wav");
    {
        sound::WavWriter writer;
        ASSERT_TRUE(writer.open(cut));
        std::vector<float> samples(100, 0.5f);
        writer.append(samples);
        writer.close();
    }
    {
        std::fstream file(cut, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(40);
        std::uint32_t claimed = 4000;  // more than is there
        file.write(reinterpret_cast<const char*>(&claimed), 4);
    }
    auto wav = sound::readWav(cut);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->samples.size(), 100u);
    std::remove(notWave.c_str());
    std::remove(cut.c_str());
}

}  // namespace
