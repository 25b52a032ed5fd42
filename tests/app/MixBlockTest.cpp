// The gather of one block from the sources and the clamp of the sums.

#include "app/MixBlock.h"
#include "TestSources.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

std::vector<float> ramp(std::size_t n, float first, float step) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = first + step * static_cast<float>(i);
    }
    return v;
}

MixBuffer zeroBuffer() {
    MixBuffer b;
    b.fill(0.0f);
    return b;
}

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

TEST(Gather, ShortSourceFillsOnlyItsPositionsAndEmpties) {
    std::mutex mapLock;
    TestSources sources;
    const std::vector<float> samples = ramp(300, -0.5f, 0.003f);
    appendAll(addSource(sources, 7).fifo, samples);

    MixBuffer buffer = zeroBuffer();
    gatherBlock(mapLock, sources, buffer);

    for (std::size_t i = 0; i < 300; ++i) {
        ASSERT_EQ(buffer[i], samples[i]) << "position " << i;
    }
    for (std::size_t i = 300; i < samplesPerBlock; ++i) {
        ASSERT_TRUE(sameBits(buffer[i], 0.0f)) << "position " << i;
    }
    EXPECT_EQ(sources[7]->fifo.size(), 0u);
}

TEST(Gather, LongSourceGivesOneBlockAndKeepsTheRestInOrder) {
    std::mutex mapLock;
    TestSources sources;
    const std::vector<float> samples = ramp(5000, 0.0f, 1.0f / 8192);
    appendAll(addSource(sources, 1).fifo, samples);

    MixBuffer buffer = zeroBuffer();
    gatherBlock(mapLock, sources, buffer);

    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), samples.begin()));
    const std::vector<float> rest = takeAll(sources[1]->fifo);
    EXPECT_EQ(rest, std::vector<float>(samples.begin() + 960, samples.end()));
}

TEST(Gather, SourcesAddInAscendingProcessId) {
    // 0.5 + 2^-25 rounds back to 0.5 (a tie, to even), twice; added the other
    // way round the two small values first make 2^-24, which 0.5 keeps.
    const float tiny = std::ldexp(1.0f, -25);
    std::mutex mapLock;
    TestSources sources;
    appendAll(addSource(sources, 30).fifo, {tiny, tiny});
    appendAll(addSource(sources, 20).fifo, {tiny, tiny});
    appendAll(addSource(sources, 10).fifo, {0.5f, -0.5f});

    MixBuffer buffer = zeroBuffer();
    gatherBlock(mapLock, sources, buffer);

    EXPECT_EQ(buffer[0], 0.5f);
    EXPECT_EQ(buffer[1], -0.5f + 2 * tiny);
    EXPECT_NE(0.5f, (tiny + tiny) + 0.5f) << "the values no longer tell the orders apart";
}

// Reference: the one-sample-at-a-time gather, in ascending process id.
MixBuffer referenceGather(std::vector<SampleFifo*> fifos) {
    MixBuffer buffer = zeroBuffer();
    for (SampleFifo* fifo : fifos) {
        const std::size_t n = std::min<std::size_t>(fifo->size(), samplesPerBlock);
        for (std::size_t j = 0; j < n; ++j) {
            buffer[j] = fifo->front() + buffer[j];
            fifo->popFront();
        }
    }
    return buffer;
}

TEST(Gather, WholeRunsGiveTheSameBitsAsSampleBySample) {
    // Five sources with values of very different sizes, so that the order of
    // additions shows in the rounding; their fronts sit at different offsets
    // in the FIFO's storage, so that blocks span storage boundaries.
    const std::size_t chunk = SampleFifo::chunkSamples;
    const std::size_t sizes[] = {chunk + 500, 3 * chunk, 960, 2 * chunk + 7, 122};
    const std::size_t popped[] = {chunk - 48, chunk - 1, 0, chunk + 1, 2};
    std::mutex mapLock;
    TestSources sources;
    std::vector<std::unique_ptr<SampleFifo>> reference;
    std::uint32_t seed = 12345;
    for (std::size_t s = 0; s < std::size(sizes); ++s) {
        TestSource& source = addSource(sources, static_cast<std::uint32_t>(100 + s));
        reference.push_back(std::make_unique<SampleFifo>());
        for (std::size_t i = 0; i < sizes[s]; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const float value = std::ldexp(static_cast<float>(seed >> 8) / 16777216.0f - 0.5f,
                                           -static_cast<int>(seed % 24));
            source.fifo.append(value);
            reference.back()->append(value);
        }
        source.fifo.popFront(popped[s]);
        reference.back()->popFront(popped[s]);
    }

    for (int block = 0; block < 4; ++block) {
        std::vector<SampleFifo*> fifos;
        for (auto& f : reference) {
            fifos.push_back(f.get());
        }
        const MixBuffer expected = referenceGather(fifos);
        MixBuffer buffer = zeroBuffer();
        gatherBlock(mapLock, sources, buffer);
        ASSERT_EQ(std::memcmp(buffer.data(), expected.data(), sizeof buffer), 0) << "block " << block;
        std::size_t s = 0;
        for (auto& [id, source] : sources) {
            ASSERT_EQ(source->fifo.size(), reference[s++]->size()) << "source " << id;
        }
    }
}

TEST(Clamp, SpecialValuesAtEveryPosition) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float denormal = std::numeric_limits<float>::denorm_min();
    struct Case {
        float in;
        float out;
    };
    const Case cases[] = {
        {nan, 1.0f},         {-nan, 1.0f},       {inf, 1.0f},
        {-inf, -1.0f},       {-0.0f, -0.0f},     {0.0f, 0.0f},
        {1.0f, 1.0f},        {-1.0f, -1.0f},     {std::nextafter(1.0f, 2.0f), 1.0f},
        {std::nextafter(-1.0f, -2.0f), -1.0f},   {std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 0.0f)},
        {3.0e38f, 1.0f},     {-3.0e38f, -1.0f},  {denormal, denormal},
        {-denormal, -denormal},                  {0.3f, 0.3f},
    };
    const std::size_t count = std::size(cases);
    // Shift the pattern across the block so that every case meets every
    // lane and the tail of any packed loop.
    for (std::size_t shift = 0; shift < 8; ++shift) {
        MixBuffer buffer;
        for (std::size_t i = 0; i < samplesPerBlock; ++i) {
            buffer[i] = cases[(i + shift) % count].in;
        }
        clampBlock(buffer);
        for (std::size_t i = 0; i < samplesPerBlock; ++i) {
            const Case& c = cases[(i + shift) % count];
            ASSERT_TRUE(sameBits(buffer[i], c.out))
                << "position " << i << ": " << c.in << " gave " << buffer[i] << ", expected " << c.out;
        }
    }
}

}  // namespace
