// The FIFO against a plain std::deque<float> as the reference: whatever mix
// of single appends, in-place runs, pops and trims, both must hold the same
// samples in the same order, and the front runs must tile the queue.

#include "capture/SampleFifo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <vector>

namespace {

// Size, front and the first contiguous run agree with the reference; the full
// contents are compared when the queue is drained at the end.
void expectSameContents(const SampleFifo& fifo, const std::deque<float>& reference) {
    ASSERT_EQ(fifo.size(), reference.size());
    if (reference.empty()) {
        EXPECT_TRUE(fifo.frontRun().empty());
        return;
    }
    EXPECT_EQ(fifo.front(), reference.front());
    std::span<const float> run = fifo.frontRun();
    ASSERT_FALSE(run.empty());
    ASSERT_LE(run.size(), reference.size());
    EXPECT_TRUE(std::equal(run.begin(), run.end(), reference.begin()));
}

class SampleFifoRandomized : public testing::TestWithParam<unsigned> {};

TEST_P(SampleFifoRandomized, MatchesDequeUnderRandomOperations) {
    std::mt19937 random(GetParam());
    SampleFifo fifo;
    std::deque<float> reference;
    float next = 0.0f;

    for (int step = 0; step < 4000; ++step) {
        switch (random() % 5) {
        case 0: {  // single appends
            int n = static_cast<int>(random() % 700);
            for (int i = 0; i < n; ++i) {
                fifo.append(next);
                reference.push_back(next);
                next += 1.0f;
            }
            break;
        }
        case 1: {  // an in-place run, possibly only part of the room used
            std::span<float> room = fifo.backRoom();
            ASSERT_FALSE(room.empty());
            std::size_t n = random() % (room.size() + 1);
            for (std::size_t i = 0; i < n; ++i) {
                room[i] = next;
                reference.push_back(next);
                next += 1.0f;
            }
            fifo.commitBack(n);
            break;
        }
        case 2: {  // several samples at once, as the mixer takes them
            std::size_t n = reference.empty() ? 0 : random() % (reference.size() + 1);
            fifo.popFront(n);
            reference.erase(reference.begin(), reference.begin() + static_cast<std::ptrdiff_t>(n));
            break;
        }
        case 3: {  // one at a time
            if (!reference.empty()) {
                fifo.popFront();
                reference.pop_front();
            }
            break;
        }
        case 4: {
            std::size_t n = random() % 12000;
            fifo.trimToNewest(n);
            while (reference.size() > n) {
                reference.pop_front();
            }
            break;
        }
        }
        expectSameContents(fifo, reference);
        if (HasFatalFailure()) {
            return;
        }
    }

    // Drain through the front runs: together they must give back every sample.
    std::vector<float> drained;
    while (fifo.size() > 0) {
        std::span<const float> run = fifo.frontRun();
        ASSERT_FALSE(run.empty());
        drained.insert(drained.end(), run.begin(), run.end());
        fifo.popFront(run.size());
    }
    EXPECT_TRUE(std::equal(drained.begin(), drained.end(), reference.begin(), reference.end()));
}

INSTANTIATE_TEST_SUITE_P(Seeds, SampleFifoRandomized, testing::Values(1u, 2u, 3u, 20240607u, 0xC0FFEEu));

TEST(SampleFifo, FrontRunEndsAtChunkBoundaryAndContinuesInNextChunk) {
    SampleFifo fifo;
    const std::size_t total = SampleFifo::chunkSamples + 10;
    for (std::size_t i = 0; i < total; ++i) {
        fifo.append(static_cast<float>(i));
    }
    fifo.popFront(5);
    std::span<const float> first = fifo.frontRun();
    ASSERT_EQ(first.size(), SampleFifo::chunkSamples - 5);
    EXPECT_EQ(first.front(), 5.0f);
    EXPECT_EQ(first.back(), static_cast<float>(SampleFifo::chunkSamples - 1));
    fifo.popFront(first.size());
    std::span<const float> second = fifo.frontRun();
    ASSERT_EQ(second.size(), 10u);
    EXPECT_EQ(second.front(), static_cast<float>(SampleFifo::chunkSamples));
}

TEST(SampleFifo, TrimKeepsNewestAndLeavesSmallerQueuesAlone) {
    SampleFifo fifo;
    for (int i = 0; i < 100; ++i) {
        fifo.append(static_cast<float>(i));
    }
    fifo.trimToNewest(100);
    EXPECT_EQ(fifo.size(), 100u);
    fifo.trimToNewest(500);
    EXPECT_EQ(fifo.size(), 100u);
    fifo.trimToNewest(30);
    ASSERT_EQ(fifo.size(), 30u);
    EXPECT_EQ(fifo.front(), 70.0f);
    fifo.trimToNewest(0);
    EXPECT_EQ(fifo.size(), 0u);
    EXPECT_TRUE(fifo.frontRun().empty());
    // Emptied storage is reused: the queue still works from scratch.
    fifo.append(7.0f);
    EXPECT_EQ(fifo.front(), 7.0f);
    EXPECT_EQ(fifo.size(), 1u);
}

}  // namespace
