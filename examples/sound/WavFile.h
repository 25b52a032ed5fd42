#pragma once
// 32-bit float WAV files (WAVE_FORMAT_IEEE_FLOAT, 48000 Hz, 2 channels): the
// program's stream as it is, with a header in front, so any audio tool can
// play or inspect a recording. OS-free; any thread, one writer per file.

#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sound {

// Writes samples as they come and fixes the header's sizes on close, so a
// recording of unknown length needs no second buffer.
class WavWriter {
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter();

    // False when the file cannot be created.
    bool open(const std::string& path);
    // Interleaved stereo; false when the file could not take them.
    bool append(std::span<const float> interleaved);
    // Writes the final sizes; false when that failed. Safe to call twice.
    bool close();

    std::uint64_t samplesWritten() const { return samples; }

private:
    std::ofstream file;
    std::uint64_t samples = 0;
};

struct WavContents {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::vector<float> samples;  // only when the format is 32-bit float
};

// The 44-byte header of a 16-bit PCM, 48000 Hz, stereo WAV file whose data
// chunk holds `dataBytes`: what file players such as paplay, pw-play and
// aplay read, in front of raw s16le samples.
std::string pcm16WavHeader(std::uint64_t dataBytes);

// Reads a RIFF/WAVE file's fmt and data chunks; nothing when it is not one.
std::optional<WavContents> readWav(const std::string& path);

}  // namespace sound
