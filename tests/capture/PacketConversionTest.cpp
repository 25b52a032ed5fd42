// Moving 16-bit packets into the FIFO: exact scaling, silence, the cap, and
// agreement with the plain rule (append every sample, then trim to 9600).

#include "capture/PacketConversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

namespace {

std::vector<float> contents(SampleFifo& fifo) {
    std::vector<float> all;
    while (fifo.size() > 0) {
        std::span<const float> run = fifo.frontRun();
        all.insert(all.end(), run.begin(), run.end());
        fifo.popFront(run.size());
    }
    return all;
}

void fill(SampleFifo& fifo, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        fifo.append(static_cast<float>(i));
    }
}

TEST(PacketConversion, ScaleIsExactlyTwoToTheMinusFifteen) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(sampleScale), 0x38000000u);
}

TEST(PacketConversion, SampleValuesConvertExactly) {
    struct Case {
        std::int16_t in;
        float out;
    };
    const Case cases[] = {
        {-32768, -1.0f}, {32767, 0.999969482421875f}, {16384, 0.5f}, {0, 0.0f},
        {1, 0x1p-15f},   {-1, -0x1p-15f},              {-16384, -0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::int16_t frame[2] = {c.in, c.in};
        SampleFifo fifo;
        appendPacket(fifo, frame, 1, false);
        std::vector<float> got = contents(fifo);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(got[0]), std::bit_cast<std::uint32_t>(c.out));
        EXPECT_EQ(got[1], c.out);
    }
}

TEST(PacketConversion, ReadsLittleEndianSamplesAtAnyAlignment) {
    // Left 0x4000 (0.5), right 0xC000 (-0.5), starting one byte into the buffer.
    const unsigned char bytes[] = {0xEE, 0x00, 0x40, 0x00, 0xC0};
    SampleFifo fifo;
    appendPacket(fifo, bytes + 1, 1, false);
    EXPECT_EQ(contents(fifo), (std::vector<float>{0.5f, -0.5f}));
}

TEST(PacketConversion, SilentPacketsAppendZerosWhateverTheBufferHolds) {
    std::vector<std::int16_t> loud(2 * 300, 12345);
    struct Case {
        const void* data;
        bool silent;
        const char* what;
    };
    const Case cases[] = {
        {loud.data(), true, "silent flag over a loud buffer"},
        {nullptr, true, "silent flag, no buffer"},
        {nullptr, false, "no buffer and no flag"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SampleFifo fifo;
        fifo.append(0.25f);
        fifo.append(0.75f);
        appendPacket(fifo, c.data, 300, c.silent);
        std::vector<float> got = contents(fifo);
        ASSERT_EQ(got.size(), 2u + 600u);
        EXPECT_EQ(got[0], 0.25f);
        EXPECT_EQ(got[1], 0.75f);
        for (std::size_t i = 2; i < got.size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(got[i]), 0u) << "at " << i;
        }
    }
}

TEST(PacketConversion, CapDropsOldestAndKeepsFramesWhole) {
    SampleFifo fifo;
    fill(fifo, 9000);
    std::vector<std::int16_t> packet(960, 8192);
    appendPacket(fifo, packet.data(), 480, false);
    ASSERT_EQ(fifo.size(), 9600u);
    // 360 oldest gone: the front is what was sample 360, a left sample.
    EXPECT_EQ(fifo.front(), 360.0f);
    std::vector<float> got = contents(fifo);
    EXPECT_EQ(got[9000 - 360 - 1], 8999.0f);
    EXPECT_EQ(got[9000 - 360], 0.25f);
    EXPECT_EQ(got.back(), 0.25f);
}

TEST(PacketConversion, PacketLargerThanCapLeavesOnlyItsOwnNewest) {
    for (std::size_t held : {std::size_t{0}, std::size_t{10}, std::size_t{9600}}) {
        SCOPED_TRACE(held);
        SampleFifo fifo;
        fill(fifo, held);
        const std::uint32_t frames = 6000;
        std::vector<std::int16_t> packet(2 * frames);
        for (std::size_t i = 0; i < packet.size(); ++i) {
            packet[i] = static_cast<std::int16_t>(i);
        }
        appendPacket(fifo, packet.data(), frames, false);
        std::vector<float> got = contents(fifo);
        ASSERT_EQ(got.size(), 9600u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i], static_cast<float>(packet[2400 + i]) * 0x1p-15f) << "at " << i;
        }
    }
}

TEST(PacketConversion, EmptyPacketAtTheCapKeepsEverything) {
    SampleFifo fifo;
    fill(fifo, 9600);
    appendPacket(fifo, nullptr, 0, false);
    std::int16_t unused[2] = {1, 2};
    appendPacket(fifo, unused, 0, true);
    ASSERT_EQ(fifo.size(), 9600u);
    EXPECT_EQ(fifo.front(), 0.0f);
    EXPECT_EQ(contents(fifo).back(), 9599.0f);
}

// The plain rule the conversion must reproduce bit for bit: every sample
// appended one by one, then the oldest dropped until 9600 remain.
void referenceAppend(std::deque<float>& reference, const std::vector<std::int16_t>& packet, bool silent) {
    for (std::int16_t value : packet) {
        reference.push_back(silent ? 0.0f : static_cast<float>(value) * 0x1p-15f);
    }
    while (reference.size() > 9600) {
        reference.pop_front();
    }
}

TEST(PacketConversion, RandomPacketStreamsMatchThePlainRule) {
    std::mt19937 random(7);
    SampleFifo fifo;
    std::deque<float> reference;
    for (int packetIndex = 0; packetIndex < 3000; ++packetIndex) {
        // Mostly engine-sized packets, now and then one beyond the cap.
        std::uint32_t frames = random() % 50 == 0 ? 4700 + random() % 400 : random() % 1100;
        bool silent = random() % 10 == 0;
        std::vector<std::int16_t> packet(2 * std::size_t{frames});
        for (auto& value : packet) {
            value = static_cast<std::int16_t>(random());
        }
        appendPacket(fifo, packet.data(), frames, silent);
        referenceAppend(reference, packet, silent);
        // The mixer takes 960 now and then, so the queue is not always full.
        if (random() % 3 == 0) {
            std::size_t take = std::min<std::size_t>(960, fifo.size());
            fifo.popFront(take);
            reference.erase(reference.begin(), reference.begin() + static_cast<std::ptrdiff_t>(take));
        }
        ASSERT_EQ(fifo.size(), reference.size()) << "after packet " << packetIndex;
        ASSERT_EQ(fifo.size() % 2, 0u);
        if (!reference.empty()) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(fifo.front()), std::bit_cast<std::uint32_t>(reference.front()));
        }
    }
    std::vector<float> got = contents(fifo);
    ASSERT_EQ(got.size(), reference.size());
    EXPECT_EQ(std::memcmp(got.data(), std::vector<float>(reference.begin(), reference.end()).data(),
                          got.size() * sizeof(float)),
              0);
}

}  // namespace
