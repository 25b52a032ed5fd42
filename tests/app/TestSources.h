#pragma once
// Stand-in capture sources for the OS-free mixer tests: just the two members
// the gather uses, a `lock` and a `fifo`, in a map shaped like SourceMap.

#include "capture/SampleFifo.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct TestSource {
    std::mutex lock;
    SampleFifo fifo;
};

using TestSources = std::map<std::uint32_t, std::unique_ptr<TestSource>>;

inline TestSource& addSource(TestSources& sources, std::uint32_t processId) {
    auto& slot = sources[processId];
    slot = std::make_unique<TestSource>();
    return *slot;
}

inline void appendAll(SampleFifo& fifo, const std::vector<float>& samples) {
    for (float s : samples) {
        fifo.append(s);
    }
}

inline std::vector<float> takeAll(SampleFifo& fifo) {
    std::vector<float> out;
    while (fifo.size() > 0) {
        out.push_back(fifo.front());
        fifo.popFront();
    }
    return out;
}
