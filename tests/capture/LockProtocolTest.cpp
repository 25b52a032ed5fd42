// The lock protocol between capture workers and the mixer: each worker
// appends whole packets under its source's lock while one drainer takes up to
// 960 samples at a time from every source under the same lock. Run under
// ThreadSanitizer; the sequence check catches reordered, duplicated or torn
// frames that a race would produce even where the sanitizer stays quiet.

#include "capture/PacketConversion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

// What the mixer and a worker share for one source.
struct Source {
    std::mutex lock;  // guards fifo
    SampleFifo fifo;
};

// Frame f carries its number in both channels: the low 15 bits on the left,
// the next 15 on the right. A frame split from its partner, or a queue whose
// front slipped onto a right sample, decodes to a number out of sequence.
void encodeFrame(std::uint32_t f, std::int16_t* out) {
    out[0] = static_cast<std::int16_t>(f & 0x7FFF);
    out[1] = static_cast<std::int16_t>((f >> 15) & 0x7FFF);
}

std::uint32_t decodeFrame(float left, float right) {
    auto l = static_cast<std::uint32_t>(left * 32768.0f);
    auto r = static_cast<std::uint32_t>(right * 32768.0f);
    return l | (r << 15);
}

// Checks one source's frames as the drainer takes them.
struct Verifier {
    bool strict;               // no drops allowed: every frame exactly once
    std::int64_t last = -1;    // number of the last frame taken
    std::uint64_t taken = 0;
    bool pendingLeft = false;  // a left sample taken at the end of a run
    float left = 0.0f;

    void take(float sample) {
        if (!pendingLeft) {
            left = sample;
            pendingLeft = true;
            return;
        }
        pendingLeft = false;
        auto frame = static_cast<std::int64_t>(decodeFrame(left, sample));
        if (strict) {
            ASSERT_EQ(frame, last + 1);
        } else {
            ASSERT_GT(frame, last);
        }
        last = frame;
        ++taken;
    }
};

struct Case {
    const char* name;
    bool backpressure;  // workers wait for room, so the cap never drops anything
};

class LockProtocol : public testing::TestWithParam<Case> {};

TEST_P(LockProtocol, WorkersAppendWhileMixerDrains) {
    constexpr int sourceCount = 3;
    constexpr std::uint32_t framesPerSource = 200000;
    const bool backpressure = GetParam().backpressure;

    std::vector<Source> sources(sourceCount);
    std::vector<Verifier> verifiers(sourceCount, Verifier{backpressure});
    std::atomic<int> workersLeft{sourceCount};
    std::atomic<bool> abandoned{false};  // the drainer failed: workers must not wait for room

    std::vector<std::thread> workers;
    for (int s = 0; s < sourceCount; ++s) {
        workers.emplace_back([&, s] {
            std::mt19937 random(static_cast<unsigned>(s + 1));
            std::vector<std::int16_t> packet;
            std::uint32_t next = 0;
            while (next < framesPerSource) {
                std::uint32_t frames = std::min<std::uint32_t>(1 + random() % 600, framesPerSource - next);
                packet.resize(2 * std::size_t{frames});
                for (std::uint32_t i = 0; i < frames; ++i) {
                    encodeFrame(next + i, &packet[2 * i]);
                }
                for (bool appended = false; !appended;) {
                    if (abandoned.load()) {
                        workersLeft.fetch_sub(1);
                        return;
                    }
                    {
                        std::lock_guard<std::mutex> guard(sources[s].lock);
                        if (!backpressure || sources[s].fifo.size() + packet.size() <= sampleFifoCap) {
                            appendPacket(sources[s].fifo, packet.data(), frames, false);
                            appended = true;
                        }
                    }
                    if (!appended) {
                        std::this_thread::yield();
                    }
                }
                next += frames;
            }
            workersLeft.fetch_sub(1);
        });
    }

    // The drainer, shaped like the mixer: per source, lock, take up to 960.
    bool finished = false;
    while (!finished) {
        finished = workersLeft.load() == 0;
        for (int s = 0; s < sourceCount; ++s) {
            std::lock_guard<std::mutex> guard(sources[s].lock);
            SampleFifo& fifo = sources[s].fifo;
            ASSERT_EQ(fifo.size() % 2, 0u);
            ASSERT_LE(fifo.size(), sampleFifoCap);
            std::size_t want = std::min<std::size_t>(960, fifo.size());
            while (want > 0) {
                std::span<const float> run = fifo.frontRun();
                std::size_t n = std::min(want, run.size());
                for (std::size_t i = 0; i < n; ++i) {
                    verifiers[s].take(run[i]);
                    if (HasFatalFailure()) {
                        break;
                    }
                }
                fifo.popFront(n);
                want -= n;
                if (HasFatalFailure()) {
                    break;
                }
            }
        }
        if (HasFatalFailure()) {
            abandoned.store(true);
            break;
        }
        // Once the workers are done, one more pass may still find samples.
        if (finished) {
            for (Source& source : sources) {
                std::lock_guard<std::mutex> guard(source.lock);
                finished = finished && source.fifo.size() == 0;
            }
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }

    for (int s = 0; s < sourceCount; ++s) {
        SCOPED_TRACE(s);
        EXPECT_FALSE(verifiers[s].pendingLeft);
        EXPECT_EQ(verifiers[s].last, static_cast<std::int64_t>(framesPerSource) - 1);
        if (backpressure) {
            EXPECT_EQ(verifiers[s].taken, framesPerSource);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, LockProtocol,
                         testing::Values(Case{"NoDrops", true}, Case{"DropsAtTheCap", false}),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
