// One block of the mix: the gather from the sources' FIFOs and the clamp, and
// the packets that fill the FIFOs (scale, silence, the 9600-sample cap).

#include "app/MixBlock.h"
#include "capture/PacketConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <numeric>

static bool sameBits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

// first/4096, (first+1)/4096, ...: exact in float, a different value at every place.
static std::vector<float> ramp(std::size_t n, std::size_t first = 0) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<float>(first + i) / 4096.0f;
    }
    return v;
}

TEST(Mix, GatherAddsUpToOneBlockPerSourceInAscendingId) {
    // 0.5 + 2^-25 is a tie that rounds back to 0.5, twice over; the two tiny
    // values summed first (or in descending id) make 2^-24, which 0.5 keeps.
    const float tiny = 0x1p-25f;
    // Each FIFO is filled, then `skip` samples are popped from it to move its
    // front in storage, then zeros make up a block and the cushion; `expected`
    // gives the leading places of the block (the others stay +0.0), `left`
    // what the FIFOs hold afterwards.
    struct Case { std::map<std::uint32_t, std::vector<float>> sources; std::size_t skip; std::vector<float> expected;
                  std::size_t left; };
    const std::size_t admitted = samplesPerBlock + cushionStartSamples;
    const Case cases[] = {
        {{{30, {tiny, tiny}}, {20, {tiny, tiny}}, {10, {0.5f, -0.5f}}}, 0, {0.5f, -0.5f + 2 * tiny}, 3 * cushionStartSamples},
        {{{7, ramp(4000)}}, 0, ramp(960), 3040},
        {{{7, ramp(4000)}}, 2000, ramp(960, 2000), cushionStartSamples},  // the block spans two storage chunks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        struct Source { std::mutex lock; SampleFifo fifo; };
        std::mutex mapLock;
        std::map<std::uint32_t, std::unique_ptr<Source>> sources;
        for (const auto& [id, samples] : c.sources) {
            auto& source = sources[id] = std::make_unique<Source>();
            appendFloatSamples(source->fifo, samples.data(), samples.size());
            source->fifo.popFront(c.skip);
            appendFloatSamples(source->fifo, nullptr, admitted - std::min(admitted, source->fifo.size()));
        }
        MixBuffer buffer;
        buffer.fill(0.0f);
        gatherBlock(mapLock, sources, buffer);
        for (std::size_t i = 0; i < samplesPerBlock; ++i) {
            ASSERT_TRUE(sameBits(buffer[i], i < c.expected.size() ? c.expected[i] : 0.0f)) << "at " << i;
        }
        const auto held = [](std::size_t sum, const auto& entry) { return sum + entry.second->fifo.size(); };
        EXPECT_EQ(std::accumulate(sources.begin(), sources.end(), std::size_t{0}, held), c.left);
    }
}

// One source block by block: what arrives before each block, and how many
// samples the block then gets from it.
TEST(Mix, SourceHeardOnceItHoldsABlockAndTheCushionAndAgainAfterRefilling) {
    const std::size_t b = samplesPerBlock, c = cushionStartSamples, grown = c + cushionStepSamples;
    struct Step { std::size_t arrives, given; };
    const std::vector<Step> cases[] = {
        {{b, 0}, {b, 0}, {b, b}, {b, b}, {b, b}},                // heard from the block that finds b + c
        {{b + c, b}, {0, b}, {0, b}, {2 * b, b}, {b, b}},        // a packet two blocks late is absorbed
        {{b + c, b}, {0, b}, {0, b}, {300, 300}, {b + c, 0},     // short: gives what it has, then waits,
         {grown - c, b}},                                        // for 5 ms more after a late return
        {{b + c, b}, {0, b}, {0, b}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0},
         {0, 0}, {0, 0}, {b + c, b}},                            // a pause of 110 ms keeps the old cushion
        {{300, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 300}, {0, 0}},  // a short sound alone is heard at 50 ms
    };
    const std::vector<float> ones(2 * b + c, 1.0f);
    for (const auto& steps : cases) {
        SCOPED_TRACE("row " + std::to_string(&steps - cases));
        SampleFifo fifo;
        for (std::size_t k = 0; k < steps.size(); ++k) {
            appendFloatSamples(fifo, ones.data(), steps[k].arrives);
            MixBuffer buffer{};
            mixSource(buffer, fifo, {});
            EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 1.0f), std::ptrdiff_t(steps[k].given)) << "block " << k;
        }
    }
}

TEST(Mix, ClampToPlusMinusOne) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // 13 cases, prime to the 4 lanes of a packed clamp, so each meets every
    // lane; the block's last four places hold cases 7 to 10.
    const std::pair<float, float> cases[] = {
        {-0.0f, -0.0f}, {0.0f, 0.0f}, {1.0f, 1.0f}, {-1.0f, -1.0f}, {0.3f, 0.3f}, {-0.7f, -0.7f},
        {std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 0.0f)}, {nan, 1.0f}, {-nan, 1.0f}, {-inf, -1.0f},
        {inf, 1.0f}, {3e38f, 1.0f}, {std::nextafter(-1.0f, -2.0f), -1.0f},
    };
    MixBuffer buffer;
    for (std::size_t i = 0; i < samplesPerBlock; ++i) {
        buffer[i] = cases[i % std::size(cases)].first;
    }
    clampBlock(buffer);
    for (std::size_t i = 0; i < samplesPerBlock; ++i) {
        ASSERT_TRUE(sameBits(buffer[i], cases[i % std::size(cases)].second)) << "at " << i;
    }
}

TEST(Mix, PacketsAppendScaledThenTheNewest9600AreKept) {
    struct Case { std::size_t held; std::uint32_t frames; bool silent, noData; };  // held: already in the FIFO
    const Case cases[] = {
        {100, 300, false, false},  {2, 300, true, false},  // silent: zeros whatever the buffer holds
        {2, 300, false, true},     // no data: silence, not a read through null
        {9000, 480, false, false}, // the cap drops the oldest held samples
        {100, 4800, false, false}, {10, 6000, false, false},  // one packet beyond the cap keeps its own newest
        {9600, 6000, false, false}, {10, 6000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        SampleFifo fifo;
        std::vector<float> expected = ramp(c.held, 8192);
        appendFloatSamples(fifo, expected.data(), expected.size());
        // Scaled by 2^-15 exactly: -32768 gives -1.0 and 32767 0.999969482421875.
        std::vector<std::int16_t> packet(2 * std::size_t{c.frames});
        for (std::size_t i = 0; i < packet.size(); ++i) {
            packet[i] = static_cast<std::int16_t>(i % 3 == 0 ? -32768 : i % 3 == 1 ? 32767 : i * 7919);
            expected.push_back(c.silent || c.noData ? 0.0f : static_cast<float>(packet[i]) / 32768.0f);
        }
        expected.erase(expected.begin(), expected.end() - std::min<std::size_t>(expected.size(), 9600));
        appendPacket(fifo, c.noData ? nullptr : packet.data(), c.frames, c.silent);
        ASSERT_EQ(fifo.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i, fifo.popFront()) {
            ASSERT_TRUE(sameBits(fifo.front(), expected[i])) << "at " << i << ": " << fifo.front();
        }
    }
}
