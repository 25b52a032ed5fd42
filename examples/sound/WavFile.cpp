#include "WavFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

namespace sound {
namespace {

static_assert(std::endian::native == std::endian::little, "WAV samples are written as they lie in memory");

constexpr std::uint16_t waveFormatPcm = 1;
constexpr std::uint16_t waveFormatIeeeFloat = 3;
constexpr std::uint16_t channels = 2;
constexpr std::uint32_t rate = 48000;
constexpr std::size_t headerSize = 44;

void put16(char* at, std::uint16_t value) { std::memcpy(at, &value, 2); }
void put32(char* at, std::uint32_t value) { std::memcpy(at, &value, 4); }
std::uint16_t get16(const char* at) { std::uint16_t v; std::memcpy(&v, at, 2); return v; }
std::uint32_t get32(const char* at) { std::uint32_t v; std::memcpy(&v, at, 4); return v; }

std::array<char, headerSize> header(std::uint64_t dataBytes, std::uint16_t formatTag = waveFormatIeeeFloat,
                                    std::uint16_t bitsPerSample = 32) {
    // RIFF sizes are 32 bits; a longer recording keeps the largest size a
    // reader can still parse rather than wrapping round.
    auto clamp32 = [](std::uint64_t v) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
    };
    std::array<char, headerSize> h{};
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], clamp32(dataBytes + headerSize - 8));
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    put32(&h[16], 16);
    put16(&h[20], formatTag);
    put16(&h[22], channels);
    put32(&h[24], rate);
    put32(&h[28], rate * channels * (bitsPerSample / 8));
    put16(&h[32], channels * (bitsPerSample / 8));
    put16(&h[34], bitsPerSample);
    std::memcpy(&h[36], "data", 4);
    put32(&h[40], clamp32(dataBytes));
    return h;
}

}  // namespace

std::string pcm16WavHeader(std::uint64_t dataBytes) {
    const auto h = header(dataBytes, waveFormatPcm, 16);
    return std::string(h.begin(), h.end());
}

WavWriter::~WavWriter() { close(); }

bool WavWriter::open(const std::string& path) {
    file.open(path, std::ios::binary | std::ios::trunc);
    samples = 0;
    if (!file) {
        return false;
    }
    auto h = header(0);
    file.write(h.data(), h.size());
    return static_cast<bool>(file);
}

bool WavWriter::append(std::span<const float> interleaved) {
    if (!file.is_open()) {
        return false;
    }
    file.write(reinterpret_cast<const char*>(interleaved.data()),
               static_cast<std::streamsize>(interleaved.size_bytes()));
    if (!file) {
        return false;
    }
    samples += interleaved.size();
    return true;
}

bool WavWriter::close() {
    if (!file.is_open()) {
        return true;
    }
    auto h = header(samples * sizeof(float));
    file.seekp(0);
    file.write(h.data(), h.size());
    bool good = static_cast<bool>(file);
    file.close();
    return good && !file.fail();
}

std::optional<WavContents> readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char riff[12];
    if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    WavContents contents;
    bool haveFormat = false;
    char chunk[8];
    while (in.read(chunk, 8)) {
        std::uint32_t size = get32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            std::vector<char> body(size);
            if (!in.read(body.data(), size)) {
                return std::nullopt;
            }
            contents.formatTag = get16(&body[0]);
            contents.channels = get16(&body[2]);
            contents.sampleRate = get32(&body[4]);
            contents.bitsPerSample = get16(&body[14]);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && haveFormat) {
            if (contents.formatTag == waveFormatIeeeFloat && contents.bitsPerSample == 32) {
                contents.samples.resize(size / sizeof(float));
                in.read(reinterpret_cast<char*>(contents.samples.data()),
                        static_cast<std::streamsize>(contents.samples.size() * sizeof(float)));
                // A recording cut short keeps what arrived.
                contents.samples.resize(static_cast<std::size_t>(in.gcount()) / sizeof(float));
            }
            return contents;
        } else {
            in.seekg(size + (size & 1), std::ios::cur);
        }
    }
    return std::nullopt;
}

}  // namespace sound
