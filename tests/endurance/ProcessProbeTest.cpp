// The probe read from outside, against children whose threads, handles,
// memory and CPU use are known: what it reports for one child must differ
// from what it reports for another by what the two were told to hold.

#include "ProcessProbe.h"
#include "harness/BlackboxTest.h"

#include <gtest/gtest.h>

#include <memory>

namespace measure {
namespace {

using blackbox::ProgramUnderTest;

std::unique_ptr<ProgramUnderTest> startTarget(const std::vector<std::wstring>& args) {
    auto target = std::make_unique<ProgramUnderTest>(
        blackbox::ProgramOptions{blackbox::windowsPath(VINTRA_PROBE_TARGET), args, {}});
    EXPECT_TRUE(target->waitForReady(blackbox::readyBoundMs)) << target->standardError();
    return target;
}

TEST(ProcessProbe, SeesTheThreadsHandlesAndMemoryAChildWasToldToHold) {
    auto small = startTarget({L"0", L"0", L"0"});
    auto large = startTarget({L"6", L"40", L"48"});
    ProcessProbe smallProbe(small->processId()), largeProbe(large->processId());
    ASSERT_TRUE(smallProbe.open());
    ASSERT_TRUE(largeProbe.open());
    const ProcessCost a = smallProbe.read(), b = largeProbe.read();
    ASSERT_TRUE(a.valid);
    ASSERT_TRUE(b.valid);

    EXPECT_EQ(b.threads, a.threads + 6);
    // The six thread handles were closed; the 40 events were not. Wine may
    // open a few handles of its own, so only a floor is exact.
    EXPECT_GE(b.handles, a.handles + 40);
    EXPECT_LE(b.handles, a.handles + 40 + 16);
    EXPECT_GE(b.workingSetBytes, a.workingSetBytes + (44u << 20)) << "48 MB were touched";
    EXPECT_GE(b.privateBytes, a.privateBytes + (44u << 20));

    int critical = 0;
    for (const ThreadCpu& t : largeProbe.threads()) critical += t.priority == THREAD_PRIORITY_TIME_CRITICAL;
    EXPECT_EQ(critical, 1) << "the one raised thread is found by its priority";
}

TEST(ProcessProbe, CountsTheCpuTimeOfABusyChildAndNotOfAnIdleOne) {
    auto idle = startTarget({L"0", L"0", L"0"});
    auto busy = startTarget({L"0", L"0", L"0", L"busy"});
    ProcessProbe idleProbe(idle->processId()), busyProbe(busy->processId());
    const ProcessCost idle0 = idleProbe.read(), busy0 = busyProbe.read();
    Sleep(1500);
    const ProcessCost idle1 = idleProbe.read(), busy1 = busyProbe.read();
    ASSERT_TRUE(idle0.valid && idle1.valid && busy0.valid && busy1.valid);
    // A spinning thread gets at least a fair share of one of two cores even
    // on a busy machine; an idle child gets next to nothing.
    EXPECT_GE(busy1.cpuSeconds - busy0.cpuSeconds, 0.3);
    EXPECT_LT(idle1.cpuSeconds - idle0.cpuSeconds, 0.1);

    double busiest = 0;
    for (const ThreadCpu& t : busyProbe.threads()) busiest = std::max(busiest, t.cpuSeconds);
    EXPECT_GE(busiest, busy1.cpuSeconds - busy0.cpuSeconds - 0.05) << "the spinning thread carries the time";
}

TEST(ProcessProbe, ListsNoThreadOnceTheChildHasEnded) {
    auto target = startTarget({L"0", L"0", L"0"});
    ProcessProbe probe(target->processId());
    ASSERT_TRUE(probe.read().valid);
    target->closeInput();
    ASSERT_EQ(target->waitForExit(blackbox::exitBoundMs), std::optional<DWORD>(0));
    const ProcessCost after = probe.read();
    EXPECT_EQ(after.threads, 0u) << "no thread of an ended process is listed";
}

}  // namespace
}  // namespace measure
