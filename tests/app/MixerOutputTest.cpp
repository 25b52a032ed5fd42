// The mixer on the real clock and standard output, in a host process that a
// test reads like a parent: silence in whole blocks, a closed output that
// ends the mixer (even though the C runtime's fwrite does not report it),
// and a closed input that ends the process through the input watch.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr std::size_t blockBytes = 3840;

std::optional<ChildProcess> startHost() {
    return ChildProcess::start(L"\"" + windowsPath(VINTRA_MIXER_HOST_EXE) + L"\"");
}

bool allZero(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

TEST(MixerOutput, ClosedOutputEndsTheMixerWithCodeZero) {
    std::optional<ChildProcess> host = startHost();
    ASSERT_TRUE(host.has_value());
    const std::string first = host->readOutput(20 * blockBytes);
    ASSERT_EQ(first.size(), 20 * blockBytes);
    EXPECT_TRUE(allZero(first)) << "no sources must give silence";

    host->closeOutput();  // standard input stays open: only the output breaks
    const std::optional<DWORD> exitCode = host->waitForExit(30'000);
    ASSERT_TRUE(exitCode.has_value()) << "still writing into a closed pipe after 30 s";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_EQ(host->readAllError(), "mixer returned\n");
}

TEST(MixerOutput, ClosedInputEndsTheProcessWithoutTheMixer) {
    std::optional<ChildProcess> host = startHost();
    ASSERT_TRUE(host.has_value());
    ASSERT_EQ(host->readOutput(2 * blockBytes).size(), 2 * blockBytes);

    host->closeInput();
    std::string rest;
    const std::optional<DWORD> exitCode = host->drainOutputUntilExit(30'000, rest);
    ASSERT_TRUE(exitCode.has_value()) << "still running 30 s after its input closed";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_EQ(rest.size() % blockBytes, 0u) << "a block was cut short";
    EXPECT_TRUE(allZero(rest));
    EXPECT_EQ(host->readAllError(), "") << "the mixer returned: the input watch did not end the process";
}

}  // namespace
