// How often the Linux program rescans, judged from outside. Every scan reads
// the process names afresh, so a player that takes an ignored name is dropped
// at the next scan and taken back at the scan after it takes its own name
// again. The test renames the player each time its tone comes or goes, so
// successive drops are two scan periods apart. A drop is sharp in the
// output: the mixer stops taking a source at once. The parent's count of
// blocks read is the clock (one block per 10 ms of the program's stream).

#include "harness/Processes.h"

#include "ProgramProcess.h"
#include "SoundAnalysis.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct GroupEnd {
    pid_t group;
    ~GroupEnd() { endGroup(group); }
};

TEST(LinuxRescan, DropsAndTakesBackARenamedPlayerEveryTwoSeconds) {
    constexpr double frequency = 440, level = 0.25;
    // A rename waits this long after the edge that prompts it. A scan that a
    // server event may bring (the program's own record stream coming or
    // going) follows the edge within tens of ms and still sees the old name;
    // the next periodic one comes 2 s after the last, well after the rename.
    // The same span of silence confirms a drop: a late packet leaves a gap of
    // a block or two, not of half a second.
    constexpr std::size_t settle = 50;
    // Three gaps: one that a missed rename or a late scan lengthens cannot
    // move their median.
    constexpr std::size_t drops = 4;
    constexpr std::size_t budget = 4000;  // blocks: 40 s, room for 4 s scans
    const GroupEnd player{startProcess({VINTRA_RENAMING_PLAYER, std::to_string(frequency), std::to_string(level)})};
    ProgramProcess run({VINTRA_LINUX_PROGRAM, "--all-except", "0"});
    ASSERT_TRUE(run.waitReady(20)) << run.errorText();

    std::vector<std::size_t> dropped;  // blocks read when the tone went silent
    bool heard = false, renamed = true;
    std::size_t edge = 0, lastHeard = 0;
    for (std::size_t block = 0; dropped.size() < drops && block < budget; ++block) {
        const std::vector<float> samples = run.read(1, 5);
        ASSERT_FALSE(samples.empty()) << "the stream stopped";
        if (sound::toneLevel(samples, 0, frequency) >= level / 2) {
            lastHeard = block;
            if (!heard) {
                heard = true;
                edge = block;
                renamed = false;
            }
        } else if (heard && block - lastHeard >= settle) {
            heard = false;
            edge = lastHeard + 1;
            dropped.push_back(edge);
            renamed = false;
        }
        if (!renamed && block >= edge + settle) {
            kill(player.group, heard ? SIGUSR1 : SIGUSR2);
            renamed = true;
        }
    }
    ASSERT_EQ(dropped.size(), drops) << "drops in " << budget / 100 << " s of stream";
    std::vector<std::size_t> gaps;
    std::string seen;
    for (std::size_t i = 1; i < dropped.size(); ++i) {
        gaps.push_back(dropped[i] - dropped[i - 1]);
        seen += ' ' + std::to_string(gaps.back());
    }
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const std::size_t periodMs = gaps[gaps.size() / 2] * 10 / 2;
    // Each drop is placed to a block: 10 ms.
    EXPECT_GE(periodMs, 1990u) << "half the median of the blocks between drops:" << seen;
    EXPECT_LE(periodMs, 3000u) << "half the median of the blocks between drops:" << seen;
    EXPECT_EQ(run.finish(10), 0);
}

}  // namespace
